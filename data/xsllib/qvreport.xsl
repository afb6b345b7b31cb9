<?xml version="1.0" encoding="UTF-8"?>
<!--
  Shared rendering of the report XML for every template: the menu built from "TOC.xml",
  section headings, subsections, tables with their header, line, others, total and
  average rows, group links, anchors and charts. Templates include this file and
  provide the page around it. Output is plain HTML with class names only; the look
  belongs to the template's style sheet.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:strip-space elements="*"/>

  <!-- Pages of the report folder that the templates link to. -->
  <xsl:variable name="qv-toc-page" select="'TOC.htm'"/>
  <xsl:variable name="qv-groups-page" select="'groupsdef.htm'"/>
  <xsl:variable name="qv-menu" select="document('TOC.xml')/menu"/>

  <!-- The section file behind a menu file name: "general.htm" gives "general.xml". -->
  <xsl:template name="qv-section-file">
    <xsl:param name="page"/>
    <xsl:value-of select="concat(substring($page, 1, string-length($page) - 4), '.xml')"/>
  </xsl:template>

  <!-- The report's title: a section title is the common prefix followed by the section's
       menu name, so the prefix is what remains with separators trimmed from its end. -->
  <xsl:template name="qv-site-title">
    <xsl:param name="title"/>
    <xsl:param name="name"/>
    <xsl:variable name="cut" select="string-length($title) - string-length($name)"/>
    <xsl:if test="string($name) != '' and $cut > 0 and substring($title, $cut + 1) = $name">
      <xsl:call-template name="qv-trim-end">
        <xsl:with-param name="text" select="substring($title, 1, $cut)"/>
      </xsl:call-template>
    </xsl:if>
  </xsl:template>

  <xsl:template name="qv-trim-end">
    <xsl:param name="text"/>
    <xsl:variable name="last" select="substring($text, string-length($text))"/>
    <xsl:choose>
      <xsl:when test="$text != '' and contains(' -:|&#160;&#8211;&#8212;', $last)">
        <xsl:call-template name="qv-trim-end">
          <xsl:with-param name="text" select="substring($text, 1, string-length($text) - 1)"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="qv-trim-start">
    <xsl:param name="text"/>
    <xsl:choose>
      <xsl:when test="$text != '' and contains(' -:|&#160;&#8211;&#8212;', substring($text, 1, 1))">
        <xsl:call-template name="qv-trim-start">
          <xsl:with-param name="text" select="substring($text, 2)"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- The report title seen from the first section listed in the menu. -->
  <xsl:template name="qv-report-title">
    <xsl:variable name="first" select="$qv-menu/item[1]"/>
    <xsl:variable name="file">
      <xsl:call-template name="qv-section-file">
        <xsl:with-param name="page" select="$first/filename"/>
      </xsl:call-template>
    </xsl:variable>
    <xsl:if test="$first">
      <xsl:call-template name="qv-site-title">
        <xsl:with-param name="title" select="document(string($file))/section/title"/>
        <xsl:with-param name="name" select="$first/itemname"/>
      </xsl:call-template>
    </xsl:if>
  </xsl:template>

  <!-- The menu: every section, and the subsections of the current page that exist on it.
       current is the current page's file name ("" on the start page); present holds the
       ids of the subsections that page shows. -->
  <xsl:template name="qv-menu">
    <xsl:param name="current" select="''"/>
    <xsl:param name="present" select="/.."/>
    <xsl:param name="report-title" select="''"/>
    <nav class="menu">
      <a class="menu-home" href="{$qv-toc-page}">
        <xsl:if test="$current = ''">
          <xsl:attribute name="aria-current">page</xsl:attribute>
        </xsl:if>
        <span class="menu-mark" aria-hidden="true"></span>
        <span class="menu-title"><xsl:value-of select="$report-title"/></span>
      </a>
      <ol class="menu-sections">
        <xsl:for-each select="$qv-menu/item">
          <li>
            <xsl:if test="filename = $current">
              <xsl:attribute name="class">current</xsl:attribute>
            </xsl:if>
            <a href="{filename}">
              <xsl:if test="filename = $current">
                <xsl:attribute name="aria-current">page</xsl:attribute>
              </xsl:if>
              <xsl:value-of select="itemname"/>
            </a>
            <xsl:if test="filename = $current">
              <xsl:variable name="shown" select="subitem[substring-after(filename, '#sub') = $present]"/>
              <xsl:if test="$shown">
                <ol class="menu-sub">
                  <xsl:for-each select="$shown">
                    <li><a href="{filename}"><xsl:value-of select="itemname"/></a></li>
                  </xsl:for-each>
                </ol>
              </xsl:if>
            </xsl:if>
          </li>
        </xsl:for-each>
      </ol>
    </nav>
  </xsl:template>

  <!-- The generated-on and date-range lines. -->
  <xsl:template match="geninfo">
    <p class="geninfo">
      <span class="generatedon"><xsl:value-of select="generatedon"/></span>
      <xsl:text> </xsl:text>
      <span class="daterange"><xsl:value-of select="daterange"/></span>
    </p>
  </xsl:template>

  <!-- A section page's content: heading, then every subsection. -->
  <xsl:template match="section">
    <xsl:param name="name" select="''"/>
    <xsl:param name="report-title" select="''"/>
    <header class="page-head">
      <xsl:variable name="rest">
        <xsl:if test="$report-title != '' and starts-with(title, $report-title)">
          <xsl:call-template name="qv-trim-start">
            <xsl:with-param name="text" select="substring(title, string-length($report-title) + 1)"/>
          </xsl:call-template>
        </xsl:if>
      </xsl:variable>
      <xsl:variable name="heading">
        <xsl:choose>
          <xsl:when test="$name != ''"><xsl:value-of select="$name"/></xsl:when>
          <xsl:otherwise><xsl:value-of select="$rest"/></xsl:otherwise>
        </xsl:choose>
      </xsl:variable>
      <xsl:choose>
        <xsl:when test="$report-title != '' and string($heading) != ''">
          <p class="overline"><xsl:value-of select="$report-title"/></p>
          <h1><xsl:value-of select="$heading"/></h1>
        </xsl:when>
        <xsl:when test="title">
          <h1><xsl:value-of select="title"/></h1>
        </xsl:when>
      </xsl:choose>
      <xsl:apply-templates select="geninfo"/>
    </header>
    <xsl:apply-templates select="subsection"/>
  </xsl:template>

  <xsl:template match="subsection">
    <section class="subsection" id="sub{@id}">
      <xsl:if test="title">
        <h2><xsl:value-of select="title"/></h2>
      </xsl:if>
      <xsl:apply-templates select="*[not(self::title)]"/>
    </section>
  </xsl:template>

  <!-- Charts come in runs: each run is shown side by side. -->
  <xsl:template match="subsection/graphic">
    <xsl:if test="not(preceding-sibling::*[1][self::graphic])">
      <xsl:variable name="run-start" select="generate-id(preceding-sibling::*[not(self::graphic)][1])"/>
      <div class="charts">
        <xsl:for-each select=". | following-sibling::graphic[generate-id(preceding-sibling::*[not(self::graphic)][1]) = $run-start]">
          <xsl:call-template name="qv-chart"/>
        </xsl:for-each>
      </div>
    </xsl:if>
  </xsl:template>

  <!-- One chart file, PNG or SVG, shown as an image scaled to its box: its alternative
       text says what it shows (older report XML has none: the table's title stands in). -->
  <xsl:template name="qv-chart">
    <xsl:variable name="alt">
      <xsl:choose>
        <xsl:when test="normalize-space(@alt) != ''"><xsl:value-of select="normalize-space(@alt)"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="following-sibling::table[1]/title"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <figure class="chart">
      <img src="{normalize-space(.)}" alt="{$alt}" width="480" height="300" loading="lazy"/>
    </figure>
  </xsl:template>

  <xsl:template match="subsection/anchor">
    <span class="anchor" id="{normalize-space(.)}"></span>
  </xsl:template>

  <xsl:template match="subsection/table">
    <xsl:variable name="caption-row" select="header[1][not(preceding-sibling::line or preceding-sibling::header or preceding-sibling::others)][count(data) = current()/@colcount]"/>
    <xsl:variable name="body-rows" select="(header | line | others)[count(. | $caption-row) != count($caption-row)]"/>
    <div class="table-wrap">
      <table class="report cols-{@colcount}">
        <xsl:if test="title">
          <caption>
            <!-- Kept for screen readers, hidden where it repeats the heading above. -->
            <xsl:if test="normalize-space(title) = normalize-space(../title)">
              <xsl:attribute name="class">repeat</xsl:attribute>
            </xsl:if>
            <xsl:value-of select="title"/>
          </caption>
        </xsl:if>
        <xsl:if test="$caption-row">
          <thead>
            <tr>
              <xsl:for-each select="$caption-row/data">
                <th scope="col">
                  <xsl:if test="position() > 1">
                    <xsl:attribute name="class">num</xsl:attribute>
                  </xsl:if>
                  <xsl:value-of select="."/>
                </th>
              </xsl:for-each>
            </tr>
          </thead>
        </xsl:if>
        <xsl:if test="$body-rows">
          <tbody>
            <xsl:apply-templates select="$body-rows"/>
          </tbody>
        </xsl:if>
        <xsl:if test="total | average">
          <tfoot>
            <xsl:apply-templates select="total | average"/>
          </tfoot>
        </xsl:if>
      </table>
    </div>
  </xsl:template>

  <!-- A caption row inside the table: its name, then only the figures it has. -->
  <xsl:template match="table/header">
    <xsl:variable name="span" select="../@colcount - count(data) + 1"/>
    <tr class="subhead">
      <th scope="rowgroup" class="key">
        <xsl:if test="$span > 1">
          <xsl:attribute name="colspan"><xsl:value-of select="$span"/></xsl:attribute>
        </xsl:if>
        <xsl:value-of select="data[1]"/>
      </th>
      <xsl:for-each select="data[position() > 1]">
        <td class="num"><xsl:value-of select="."/></td>
      </xsl:for-each>
    </tr>
  </xsl:template>

  <xsl:template match="table/line">
    <tr>
      <xsl:apply-templates select="data[1]" mode="key"/>
      <xsl:apply-templates select="data[position() > 1]" mode="figure"/>
    </tr>
  </xsl:template>

  <xsl:template match="table/others | table/total | table/average">
    <tr class="{local-name()}">
      <th scope="row" class="key"><xsl:value-of select="data[1]"/></th>
      <xsl:for-each select="data[position() > 1]">
        <td class="num"><xsl:value-of select="."/></td>
      </xsl:for-each>
    </tr>
  </xsl:template>

  <xsl:template match="data" mode="key">
    <td class="key">
      <xsl:choose>
        <xsl:when test="entrygroup">
          <a class="group" href="{$qv-groups-page}#{entrygroup/id}">
            <xsl:value-of select="entrygroup/name"/>
          </a>
        </xsl:when>
        <xsl:otherwise>
          <xsl:call-template name="qv-breakable">
            <xsl:with-param name="text" select="string(.)"/>
          </xsl:call-template>
        </xsl:otherwise>
      </xsl:choose>
    </td>
  </xsl:template>

  <!-- Text with a line-break opportunity after each of its first slashes, so that paths
       and URLs wrap between their parts on narrow screens. -->
  <xsl:template name="qv-breakable">
    <xsl:param name="text"/>
    <xsl:param name="left" select="24"/>
    <xsl:choose>
      <xsl:when test="$left > 0 and contains(substring($text, 2), '/')">
        <xsl:variable name="head" select="concat(substring($text, 1, 1), substring-before(substring($text, 2), '/'), '/')"/>
        <xsl:value-of select="$head"/>
        <!-- A void element: written by hand, as the HTML serialiser would close it. -->
        <xsl:text disable-output-escaping="yes">&lt;wbr&gt;</xsl:text>
        <xsl:call-template name="qv-breakable">
          <xsl:with-param name="text" select="substring($text, string-length($head) + 1)"/>
          <xsl:with-param name="left" select="$left - 1"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- A figure cell; a percentage also carries its value for the share bar. -->
  <xsl:template match="data" mode="figure">
    <xsl:variable name="text" select="normalize-space(.)"/>
    <xsl:variable name="share" select="number(translate(substring-before($text, '%'), ',', '.'))"/>
    <xsl:choose>
      <xsl:when test="substring($text, string-length($text)) = '%' and $share = $share">
        <td class="num share">
          <span>
            <xsl:attribute name="style">
              <xsl:text>--share:</xsl:text>
              <xsl:choose>
                <xsl:when test="$share > 100">100</xsl:when>
                <xsl:when test="$share &lt; 0">0</xsl:when>
                <xsl:otherwise><xsl:value-of select="$share"/></xsl:otherwise>
              </xsl:choose>
              <xsl:text>%</xsl:text>
            </xsl:attribute>
            <xsl:value-of select="."/>
          </span>
        </td>
      </xsl:when>
      <xsl:otherwise>
        <td class="num"><xsl:value-of select="."/></td>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Anything else in the report XML is not shown. -->
  <xsl:template match="*"/>

</xsl:stylesheet>
