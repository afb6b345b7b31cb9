<?xml version="1.0" encoding="UTF-8"?>
<!-- A section page: the report menu beside the section's tables and charts. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:include href="qvreport.xsl"/>
  <xsl:output method="html" encoding="UTF-8" doctype-system="about:legacy-compat" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="page" select="concat(section/@id, '.htm')"/>
    <xsl:variable name="item" select="$qv-menu/item[filename = $page]"/>
    <xsl:variable name="report-title">
      <xsl:choose>
        <xsl:when test="$item">
          <xsl:call-template name="qv-site-title">
            <xsl:with-param name="title" select="section/title"/>
            <xsl:with-param name="name" select="$item/itemname"/>
          </xsl:call-template>
        </xsl:when>
        <xsl:otherwise><xsl:call-template name="qv-report-title"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <html>
      <xsl:if test="normalize-space(section/@lang) != ''">
        <xsl:attribute name="lang"><xsl:value-of select="normalize-space(section/@lang)"/></xsl:attribute>
      </xsl:if>
      <head>
        <meta name="viewport" content="width=device-width, initial-scale=1"/>
        <meta name="color-scheme" content="light"/>
        <title><xsl:value-of select="section/title"/></title>
        <link rel="stylesheet" href="report.css"/>
      </head>
      <body>
        <div class="layout">
          <xsl:call-template name="qv-menu">
            <xsl:with-param name="current" select="$page"/>
            <xsl:with-param name="present" select="section/subsection/@id"/>
            <xsl:with-param name="report-title" select="string($report-title)"/>
          </xsl:call-template>
          <main class="content">
            <xsl:apply-templates select="section">
              <xsl:with-param name="name" select="string($item/itemname)"/>
              <xsl:with-param name="report-title" select="string($report-title)"/>
            </xsl:apply-templates>
          </main>
        </div>
      </body>
    </html>
  </xsl:template>

</xsl:stylesheet>
