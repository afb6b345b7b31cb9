<?xml version="1.0" encoding="UTF-8"?>
<!-- The start page: the report menu beside an overview of every section and its
     subsections, with the report's generated-on and date-range lines. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:include href="qvreport.xsl"/>
  <xsl:output method="html" encoding="UTF-8" doctype-system="about:legacy-compat" indent="yes"/>

  <xsl:template match="/">
    <xsl:variable name="report-title"><xsl:call-template name="qv-report-title"/></xsl:variable>
    <xsl:variable name="first-file">
      <xsl:call-template name="qv-section-file">
        <xsl:with-param name="page" select="menu/item[1]/filename"/>
      </xsl:call-template>
    </xsl:variable>
    <html>
      <xsl:if test="normalize-space(menu/@lang) != ''">
        <xsl:attribute name="lang"><xsl:value-of select="normalize-space(menu/@lang)"/></xsl:attribute>
      </xsl:if>
      <head>
        <meta name="viewport" content="width=device-width, initial-scale=1"/>
        <meta name="color-scheme" content="light"/>
        <title><xsl:value-of select="$report-title"/></title>
        <link rel="stylesheet" href="report.css"/>
      </head>
      <body class="start">
        <div class="layout">
          <xsl:call-template name="qv-menu">
            <xsl:with-param name="report-title" select="string($report-title)"/>
          </xsl:call-template>
          <main class="content">
            <header class="page-head">
              <xsl:if test="string($report-title) != ''">
                <h1><xsl:value-of select="$report-title"/></h1>
              </xsl:if>
              <xsl:if test="menu/item">
                <xsl:apply-templates select="document(string($first-file))/section/geninfo"/>
              </xsl:if>
            </header>
            <ol class="overview">
              <xsl:apply-templates select="menu/item" mode="overview"/>
            </ol>
          </main>
        </div>
      </body>
    </html>
  </xsl:template>

  <!-- One card per section, listing the subsections its page shows. -->
  <xsl:template match="item" mode="overview">
    <xsl:variable name="file">
      <xsl:call-template name="qv-section-file">
        <xsl:with-param name="page" select="filename"/>
      </xsl:call-template>
    </xsl:variable>
    <xsl:variable name="present" select="document(string($file))/section/subsection/@id"/>
    <li class="card">
      <h2><a href="{filename}"><xsl:value-of select="itemname"/></a></h2>
      <xsl:variable name="shown" select="subitem[substring-after(filename, '#sub') = $present]"/>
      <xsl:if test="$shown">
        <ul>
          <xsl:for-each select="$shown">
            <li><a href="{filename}"><xsl:value-of select="itemname"/></a></li>
          </xsl:for-each>
        </ul>
      </xsl:if>
    </li>
  </xsl:template>

</xsl:stylesheet>
