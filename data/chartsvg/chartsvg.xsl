<?xml version="1.0" encoding="UTF-8"?>
<!-- Draws a chart description (root "cvgraph") as a scalable SVG picture on a 480 x 300
     page: bar, line or pie, with title, axis titles, value grid with round steps,
     category labels thinned and shortened so that none touch, and a legend (bars and
     lines) or key (pies) giving each series' swatch, name and value. Texts are 14 units
     or more, so they stay readable when a phone shows the picture 350 pixels wide.
     Text widths are estimated at 0.6 of the font size per character (0.65 bold), a fifth
     more for capitals.
     Plain XSLT 1.0. -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns="http://www.w3.org/2000/svg">

  <xsl:output method="xml" encoding="UTF-8" indent="no" media-type="image/svg+xml"/>

  <xsl:variable name="pi" select="3.14159265358979"/>
  <xsl:variable name="W" select="480"/>
  <xsl:variable name="H" select="300"/>
  <xsl:variable name="fs" select="14"/>
  <xsl:variable name="cw" select="$fs * 0.6"/>
  <xsl:variable name="cwBold" select="$fs * 0.65"/>
  <xsl:variable name="rowHeight" select="20"/>
  <xsl:variable name="wideChars" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ@%&amp;#MW'"/>
  <xsl:variable name="font">'Liberation Sans', Arial, Helvetica, sans-serif</xsl:variable>

  <xsl:variable name="g" select="/cvgraph"/>
  <xsl:variable name="type" select="normalize-space($g/charttype)"/>
  <xsl:variable name="series" select="$g/series/serie"/>
  <xsl:variable name="count" select="count($series)"/>
  <xsl:variable name="hasTitle" select="normalize-space($g/title) != ''"/>
  <xsl:variable name="hasLegend" select="boolean($g/showlegend) and $type != 'pie'"/>
  <xsl:variable name="back">
    <xsl:choose>
      <xsl:when test="starts-with(normalize-space($g/backcolor), '#')"><xsl:value-of select="normalize-space($g/backcolor)"/></xsl:when>
      <xsl:otherwise>#ffffff</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="lastX">
    <xsl:for-each select="$series/point">
      <xsl:sort select="@x" data-type="number" order="descending"/>
      <xsl:if test="position() = 1"><xsl:value-of select="@x"/></xsl:if>
    </xsl:for-each>
  </xsl:variable>

  <!-- Frame of bar and line charts, from the top down and the bottom up. -->
  <xsl:variable name="top" select="8 + 26 * number($hasTitle)"/>
  <xsl:variable name="legendTop" select="$H - 6 - ceiling($count div 2) * $rowHeight"/>
  <xsl:variable name="bottom0" select="$H - 6 - number($hasLegend) * (ceiling($count div 2) * $rowHeight + 6)"/>
  <xsl:variable name="xTitle" select="normalize-space($g/xaxis/title)"/>
  <xsl:variable name="yTitle" select="normalize-space($g/yaxis/title)"/>
  <xsl:variable name="bottom1" select="$bottom0 - 22 * number($xTitle != '')"/>

  <xsl:variable name="yMin" select="number($g/yaxis/min)"/>
  <xsl:variable name="yStep">
    <xsl:choose>
      <xsl:when test="number($g/yaxis/step) &gt; 0"><xsl:value-of select="number($g/yaxis/step)"/></xsl:when>
      <xsl:when test="count($g/yaxis/grid/line) &gt; 1">
        <xsl:value-of select="number($g/yaxis/grid/line[2]) - number($g/yaxis/grid/line[1])"/>
      </xsl:when>
      <xsl:otherwise>1</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="yMax">
    <xsl:choose>
      <xsl:when test="number($g/yaxis/max) &gt; $yMin"><xsl:value-of select="number($g/yaxis/max)"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$yMin + $yStep"/></xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="ySpan" select="$yMax - $yMin"/>
  <xsl:variable name="tickChars">
    <xsl:variable name="a" select="string-length(format-number($yMax, '#,##0'))"/>
    <xsl:variable name="b" select="string-length(format-number($yMin, '#,##0'))"/>
    <xsl:value-of select="$a * number($a &gt;= $b) + $b * number($b &gt; $a)"/>
  </xsl:variable>

  <xsl:variable name="plotLeft" select="6 + 18 * number($yTitle != '') + $tickChars * $cw + 6"/>
  <xsl:variable name="plotTop" select="$top + 8"/>
  <xsl:variable name="plotRight" select="$W - 10"/>
  <xsl:variable name="plotBottom" select="$bottom1 - 24"/>
  <xsl:variable name="plotWidth" select="$plotRight - $plotLeft"/>
  <xsl:variable name="plotHeight" select="$plotBottom - $plotTop"/>

  <xsl:variable name="labels" select="number($g/xaxis/max)"/>
  <xsl:variable name="categories">
    <xsl:variable name="byPoints" select="number(concat('0', $lastX)) + 1 - number($lastX = '')"/>
    <xsl:choose>
      <xsl:when test="$labels &gt;= $byPoints and $labels &gt; 0"><xsl:value-of select="$labels"/></xsl:when>
      <xsl:when test="$byPoints &gt; 0"><xsl:value-of select="$byPoints"/></xsl:when>
      <xsl:otherwise>1</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="slot" select="$plotWidth div $categories"/>
  <!-- The value 0, or the nearest end of the range: where bars start. -->
  <xsl:variable name="baseValue">
    <xsl:choose>
      <xsl:when test="$yMin &gt; 0"><xsl:value-of select="$yMin"/></xsl:when>
      <xsl:when test="$yMax &lt; 0"><xsl:value-of select="$yMax"/></xsl:when>
      <xsl:otherwise>0</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>

  <xsl:variable name="palette" select="'#4e79a7'"/>

  <xsl:template match="/">
    <svg version="1.1" width="{$W}" height="{$H}" viewBox="0 0 {$W} {$H}"
         font-family="{$font}" font-size="{$fs}" fill="#333333">
      <rect class="background" x="0" y="0" width="{$W}" height="{$H}" fill="{$back}"/>
      <xsl:if test="$hasTitle">
        <text class="title" x="{$W div 2}" y="22" text-anchor="middle" font-size="16" font-weight="bold"
              fill="#1a1a1a">
          <xsl:call-template name="short">
            <xsl:with-param name="text" select="normalize-space($g/title)"/>
            <xsl:with-param name="width" select="$W - 16"/>
            <xsl:with-param name="charWidth" select="16 * 0.65"/>
          </xsl:call-template>
        </text>
      </xsl:if>
      <xsl:choose>
        <xsl:when test="$type = 'pie'"><xsl:call-template name="pie"/></xsl:when>
        <xsl:otherwise><xsl:call-template name="axes"/></xsl:otherwise>
      </xsl:choose>
      <xsl:if test="$hasLegend"><xsl:call-template name="legend"/></xsl:if>
    </svg>
  </xsl:template>

  <!-- Numbers for coordinates: at most one decimal, never NaN. -->
  <xsl:template name="n">
    <xsl:param name="v"/>
    <xsl:choose>
      <xsl:when test="string(number($v)) = 'NaN'">0</xsl:when>
      <xsl:otherwise><xsl:value-of select="format-number($v, '0.#')"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="color">
    <xsl:param name="serie"/>
    <xsl:choose>
      <xsl:when test="starts-with(normalize-space($serie/color), '#')">
        <xsl:value-of select="normalize-space($serie/color)"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$palette"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- A light series colour gets a darker outline, named by the description. -->
  <xsl:template name="outline">
    <xsl:param name="serie"/>
    <xsl:if test="starts-with(normalize-space($serie/outline), '#')">
      <xsl:attribute name="stroke"><xsl:value-of select="normalize-space($serie/outline)"/></xsl:attribute>
      <xsl:attribute name="stroke-width">1</xsl:attribute>
    </xsl:if>
  </xsl:template>

  <!-- text cut with an ellipsis to fit width at charWidth per character, capitals and
       wide signs counting a fifth more. -->
  <xsl:template name="short">
    <xsl:param name="text"/>
    <xsl:param name="width"/>
    <xsl:param name="charWidth" select="$cw"/>
    <xsl:variable name="n" select="string-length($text) + number($text = '')"/>
    <xsl:variable name="wide" select="$n - string-length(translate($text, $wideChars, ''))"/>
    <xsl:variable name="max" select="floor($width div ($charWidth * (1 + 0.2 * $wide div $n)))"/>
    <xsl:choose>
      <xsl:when test="string-length($text) &lt;= $max"><xsl:value-of select="$text"/></xsl:when>
      <xsl:when test="$max &gt;= 2"><xsl:value-of select="concat(substring($text, 1, $max - 1), '&#x2026;')"/></xsl:when>
      <xsl:otherwise/>
    </xsl:choose>
  </xsl:template>

  <!-- Bar and line charts. -->
  <xsl:template name="axes">
    <g class="grid" stroke="#e0e0e0" stroke-width="1">
      <xsl:for-each select="$g/yaxis/grid/line">
        <xsl:variable name="y" select="$plotBottom - (number(.) - $yMin) div $ySpan * $plotHeight"/>
        <xsl:if test="$y &gt;= $plotTop - 0.5 and $y &lt;= $plotBottom + 0.5">
          <line x1="{$plotLeft}" x2="{$plotRight}">
            <xsl:attribute name="y1"><xsl:call-template name="n"><xsl:with-param name="v" select="$y"/></xsl:call-template></xsl:attribute>
            <xsl:attribute name="y2"><xsl:call-template name="n"><xsl:with-param name="v" select="$y"/></xsl:call-template></xsl:attribute>
          </line>
        </xsl:if>
      </xsl:for-each>
    </g>
    <!-- Tick labels at least 18 units apart: every tickEvery-th grid line. -->
    <xsl:variable name="tickEvery" select="ceiling(18 div ($yStep div $ySpan * $plotHeight))"/>
    <g class="ticks" fill="#555555" text-anchor="end">
      <xsl:for-each select="$g/yaxis/grid/line">
        <xsl:variable name="y" select="$plotBottom - (number(.) - $yMin) div $ySpan * $plotHeight"/>
        <xsl:if test="$y &gt;= $plotTop - 0.5 and $y &lt;= $plotBottom + 0.5 and (position() - 1) mod $tickEvery = 0">
          <text x="{$plotLeft - 6}">
            <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$y + 5"/></xsl:call-template></xsl:attribute>
            <xsl:value-of select="format-number(number(.), '#,##0')"/>
          </text>
        </xsl:if>
      </xsl:for-each>
    </g>

    <xsl:choose>
      <xsl:when test="$type = 'line'"><xsl:call-template name="lines"/></xsl:when>
      <xsl:otherwise><xsl:call-template name="bars"/></xsl:otherwise>
    </xsl:choose>

    <g class="axis" stroke="#808080" stroke-width="1" fill="none">
      <path d="M{$plotLeft},{$plotTop} V{$plotBottom} H{$plotRight}"/>
    </g>

    <!-- Category labels: the written ones spread over the axis, every labelEvery-th one
         shown, each shortened to the room it has. -->
    <xsl:variable name="written" select="count($g/xaxis/grid/line)"/>
    <xsl:variable name="labelChars">
      <xsl:for-each select="$g/xaxis/grid/line">
        <xsl:sort select="string-length(.)" data-type="number" order="descending"/>
        <xsl:if test="position() = 1"><xsl:value-of select="string-length(.)"/></xsl:if>
      </xsl:for-each>
    </xsl:variable>
    <xsl:variable name="labelWidth">
      <xsl:variable name="w" select="number(concat('0', $labelChars)) * $cw"/>
      <xsl:value-of select="$w * number($w &lt;= 110) + 110 * number($w &gt; 110)"/>
    </xsl:variable>
    <xsl:variable name="spacing" select="$plotWidth div ($written + number($written = 0))"/>
    <xsl:variable name="labelEvery" select="ceiling(($labelWidth + 6) div $spacing)"/>
    <g class="categories" fill="#555555" text-anchor="middle">
      <xsl:for-each select="$g/xaxis/grid/line[(position() - 1) mod $labelEvery = 0]">
        <xsl:variable name="index">
          <xsl:choose>
            <xsl:when test="$written = $labels"><xsl:value-of select="count(preceding-sibling::line)"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="round(count(preceding-sibling::line) * $labels div $written)"/></xsl:otherwise>
          </xsl:choose>
        </xsl:variable>
        <xsl:variable name="x" select="$plotLeft + $slot * ($index + 0.5)"/>
        <xsl:variable name="room0" select="$spacing * $labelEvery - 6"/>
        <xsl:variable name="room1" select="$room0 * number($room0 &lt;= 2 * ($W - 2 - $x)) + 2 * ($W - 2 - $x) * number($room0 &gt; 2 * ($W - 2 - $x))"/>
        <xsl:variable name="room" select="$room1 * number($room1 &lt;= 2 * ($x - 2)) + 2 * ($x - 2) * number($room1 &gt; 2 * ($x - 2))"/>
        <xsl:if test="normalize-space(.) != ''">
          <text>
            <xsl:attribute name="x"><xsl:call-template name="n"><xsl:with-param name="v" select="$x"/></xsl:call-template></xsl:attribute>
            <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$plotBottom + 20"/></xsl:call-template></xsl:attribute>
            <xsl:call-template name="short">
              <xsl:with-param name="text" select="string(.)"/>
              <xsl:with-param name="width" select="$room"/>
            </xsl:call-template>
          </text>
        </xsl:if>
      </xsl:for-each>
    </g>

    <xsl:if test="$xTitle != ''">
      <text class="axistitle" y="{$bottom0 - 3}" text-anchor="middle" font-weight="bold" fill="#1a1a1a">
        <xsl:attribute name="x"><xsl:call-template name="n"><xsl:with-param name="v" select="($plotLeft + $plotRight) div 2"/></xsl:call-template></xsl:attribute>
        <xsl:call-template name="short">
          <xsl:with-param name="text" select="$xTitle"/>
          <xsl:with-param name="width" select="$W - 40"/>
          <xsl:with-param name="charWidth" select="$cwBold"/>
        </xsl:call-template>
      </text>
    </xsl:if>
    <xsl:if test="$yTitle != ''">
      <text class="axistitle" text-anchor="middle" font-weight="bold" fill="#1a1a1a">
        <xsl:attribute name="transform">
          <xsl:text>translate(17,</xsl:text>
          <xsl:call-template name="n"><xsl:with-param name="v" select="($plotTop + $plotBottom) div 2"/></xsl:call-template>
          <xsl:text>) rotate(-90)</xsl:text>
        </xsl:attribute>
        <xsl:call-template name="short">
          <xsl:with-param name="text" select="$yTitle"/>
          <xsl:with-param name="width" select="$bottom0 - $top - 30"/>
          <xsl:with-param name="charWidth" select="$cwBold"/>
        </xsl:call-template>
      </text>
    </xsl:if>
  </xsl:template>

  <xsl:template name="bars">
    <xsl:variable name="group" select="$slot * 0.75"/>
    <xsl:variable name="barWidth" select="$group div $count"/>
    <xsl:variable name="gap">
      <xsl:choose>
        <xsl:when test="$barWidth &gt; 4">1</xsl:when>
        <xsl:otherwise>0</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:variable name="baseY" select="$plotBottom - ($baseValue - $yMin) div $ySpan * $plotHeight"/>
    <xsl:for-each select="$series">
      <xsl:variable name="s" select="position() - 1"/>
      <g class="serie">
        <xsl:attribute name="fill"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:attribute>
        <xsl:call-template name="outline"><xsl:with-param name="serie" select="."/></xsl:call-template>
        <title><xsl:value-of select="name"/></title>
        <xsl:for-each select="point[number(@x) &gt;= 0]">
          <xsl:variable name="v">
            <xsl:choose>
              <xsl:when test="number(@y) &gt; $yMax"><xsl:value-of select="$yMax"/></xsl:when>
              <xsl:when test="number(@y) &lt; $yMin"><xsl:value-of select="$yMin"/></xsl:when>
              <xsl:otherwise><xsl:value-of select="number(@y)"/></xsl:otherwise>
            </xsl:choose>
          </xsl:variable>
          <xsl:variable name="y" select="$plotBottom - ($v - $yMin) div $ySpan * $plotHeight"/>
          <rect class="bar">
            <xsl:attribute name="x"><xsl:call-template name="n"><xsl:with-param name="v" select="$plotLeft + $slot * @x + ($slot - $group) div 2 + $s * $barWidth"/></xsl:call-template></xsl:attribute>
            <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$y * number($y &lt; $baseY) + $baseY * number($y &gt;= $baseY)"/></xsl:call-template></xsl:attribute>
            <xsl:attribute name="width"><xsl:call-template name="n"><xsl:with-param name="v" select="$barWidth - $gap"/></xsl:call-template></xsl:attribute>
            <xsl:attribute name="height"><xsl:call-template name="n"><xsl:with-param name="v" select="($baseY - $y) * number($y &lt; $baseY) + ($y - $baseY) * number($y &gt;= $baseY)"/></xsl:call-template></xsl:attribute>
            <title><xsl:value-of select="concat(format-number(number(@y), '#,##0'), ' (', ../name, ')')"/></title>
          </rect>
        </xsl:for-each>
      </g>
    </xsl:for-each>
  </xsl:template>

  <xsl:template name="lines">
    <xsl:for-each select="$series">
      <xsl:variable name="points">
        <xsl:for-each select="point">
          <xsl:if test="position() &gt; 1"><xsl:text> </xsl:text></xsl:if>
          <xsl:call-template name="n"><xsl:with-param name="v" select="$plotLeft + $slot * (number(@x) + 0.5)"/></xsl:call-template>
          <xsl:text>,</xsl:text>
          <xsl:call-template name="n"><xsl:with-param name="v" select="$plotBottom - (number(@y) - $yMin) div $ySpan * $plotHeight"/></xsl:call-template>
        </xsl:for-each>
      </xsl:variable>
      <!-- A light line runs on a darker one a little wider. -->
      <xsl:if test="starts-with(normalize-space(outline), '#')">
        <polyline class="lineoutline" fill="none" stroke="{normalize-space(outline)}" stroke-width="5"
                  stroke-linejoin="round" stroke-linecap="round" points="{$points}"/>
      </xsl:if>
      <polyline class="line" fill="none" stroke-width="3" stroke-linejoin="round" stroke-linecap="round" points="{$points}">
        <xsl:attribute name="stroke"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:attribute>
        <title><xsl:value-of select="name"/></title>
      </polyline>
    </xsl:for-each>
  </xsl:template>

  <!-- Trigonometry by series expansion, so that any XSLT 1.0 processor will do. -->
  <xsl:template name="sin">
    <xsl:param name="a"/>
    <xsl:variable name="x" select="$a - 2 * $pi * floor(($a + $pi) div (2 * $pi))"/>
    <xsl:variable name="x2" select="$x * $x"/>
    <xsl:value-of select="$x * (1 - $x2 div 6 * (1 - $x2 div 20 * (1 - $x2 div 42 * (1 - $x2 div 72 * (1 - $x2 div 110
        * (1 - $x2 div 156 * (1 - $x2 div 210 * (1 - $x2 div 272))))))))"/>
  </xsl:template>

  <xsl:template name="cos">
    <xsl:param name="a"/>
    <xsl:call-template name="sin"><xsl:with-param name="a" select="$a + $pi div 2"/></xsl:call-template>
  </xsl:template>

  <!-- The pie at the left, its key (every slice with its value and share) at the right;
       slices of a tenth or more carry their share, which cannot overlap at that size. -->
  <xsl:template name="pie">
    <xsl:variable name="total" select="sum($series/point/@y[number(.) &gt; 0])"/>
    <xsl:variable name="r0" select="($H - 8 - $top) div 2 - 2"/>
    <xsl:variable name="r" select="95 * number($r0 &gt;= 95) + $r0 * number($r0 &lt; 95)"/>
    <xsl:variable name="cx" select="12 + $r"/>
    <xsl:variable name="cy" select="($top + $H - 8) div 2"/>
    <xsl:choose>
      <xsl:when test="$total &lt;= 0">
        <circle class="slice" cx="{$cx}" cy="{$cy}" r="{$r}" fill="#d9d9d9"/>
      </xsl:when>
      <xsl:otherwise>
        <g class="slices" stroke="{$back}" stroke-width="1.5" stroke-linejoin="round">
          <xsl:for-each select="$series">
            <xsl:variable name="value" select="sum(point/@y[number(.) &gt; 0])"/>
            <xsl:variable name="before" select="sum(preceding-sibling::serie/point/@y[number(.) &gt; 0])"/>
            <xsl:variable name="color"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:variable>
            <xsl:variable name="a0" select="-$pi div 2 + 2 * $pi * $before div $total"/>
            <xsl:variable name="a1" select="$a0 + 2 * $pi * $value div $total"/>
            <xsl:choose>
              <xsl:when test="$value &lt;= 0"/>
              <xsl:when test="$value &gt;= $total">
                <circle class="slice" cx="{$cx}" cy="{$cy}" r="{$r}" fill="{$color}">
                  <xsl:call-template name="outline"><xsl:with-param name="serie" select="."/></xsl:call-template>
                  <title><xsl:value-of select="name"/></title>
                </circle>
              </xsl:when>
              <xsl:otherwise>
                <xsl:variable name="c0"><xsl:call-template name="cos"><xsl:with-param name="a" select="$a0"/></xsl:call-template></xsl:variable>
                <xsl:variable name="s0"><xsl:call-template name="sin"><xsl:with-param name="a" select="$a0"/></xsl:call-template></xsl:variable>
                <xsl:variable name="c1"><xsl:call-template name="cos"><xsl:with-param name="a" select="$a1"/></xsl:call-template></xsl:variable>
                <xsl:variable name="s1"><xsl:call-template name="sin"><xsl:with-param name="a" select="$a1"/></xsl:call-template></xsl:variable>
                <path class="slice" fill="{$color}">
                  <xsl:call-template name="outline"><xsl:with-param name="serie" select="."/></xsl:call-template>
                  <xsl:attribute name="d">
                    <xsl:text>M</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$cx"/></xsl:call-template>,<xsl:call-template name="n"><xsl:with-param name="v" select="$cy"/></xsl:call-template>
                    <xsl:text> L</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$cx + $r * $c0"/></xsl:call-template>
                    <xsl:text>,</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$cy + $r * $s0"/></xsl:call-template>
                    <xsl:text> A</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$r"/></xsl:call-template>,<xsl:call-template name="n"><xsl:with-param name="v" select="$r"/></xsl:call-template>
                    <xsl:text> 0 </xsl:text><xsl:value-of select="number($value * 2 &gt; $total)"/><xsl:text>,1 </xsl:text>
                    <xsl:call-template name="n"><xsl:with-param name="v" select="$cx + $r * $c1"/></xsl:call-template>
                    <xsl:text>,</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$cy + $r * $s1"/></xsl:call-template>
                    <xsl:text> Z</xsl:text>
                  </xsl:attribute>
                  <title><xsl:value-of select="name"/></title>
                </path>
              </xsl:otherwise>
            </xsl:choose>
          </xsl:for-each>
        </g>
        <g class="slicelabels" font-weight="bold" fill="#1a1a1a" text-anchor="middle" stroke="{$back}"
           stroke-width="3" stroke-linejoin="round" paint-order="stroke">
          <xsl:for-each select="$series">
            <xsl:variable name="value" select="sum(point/@y[number(.) &gt; 0])"/>
            <xsl:variable name="before" select="sum(preceding-sibling::serie/point/@y[number(.) &gt; 0])"/>
            <xsl:if test="$value div $total &gt;= 0.1">
              <xsl:variable name="am" select="-$pi div 2 + 2 * $pi * ($before + $value div 2) div $total"/>
              <xsl:variable name="c"><xsl:call-template name="cos"><xsl:with-param name="a" select="$am"/></xsl:call-template></xsl:variable>
              <xsl:variable name="s"><xsl:call-template name="sin"><xsl:with-param name="a" select="$am"/></xsl:call-template></xsl:variable>
              <xsl:variable name="d" select="0.62 * $r * number($value &lt; $total)"/>
              <text class="slicelabel">
                <xsl:attribute name="x"><xsl:call-template name="n"><xsl:with-param name="v" select="$cx + $d * $c"/></xsl:call-template></xsl:attribute>
                <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$cy + $d * $s + 5"/></xsl:call-template></xsl:attribute>
                <xsl:value-of select="concat(format-number($value div $total * 100, '0'), '%')"/>
              </text>
            </xsl:if>
          </xsl:for-each>
        </g>
      </xsl:otherwise>
    </xsl:choose>
    <xsl:variable name="keyLeft" select="$cx + $r + 18"/>
    <xsl:variable name="keyTop0" select="$cy - $count * $rowHeight div 2"/>
    <xsl:variable name="keyTop" select="$keyTop0 * number($keyTop0 &gt;= $top) + $top * number($keyTop0 &lt; $top)"/>
    <g class="key">
      <xsl:for-each select="$series">
        <xsl:variable name="value" select="sum(point/@y[number(.) &gt; 0])"/>
        <xsl:call-template name="keyrow">
          <xsl:with-param name="left" select="$keyLeft"/>
          <xsl:with-param name="right" select="$W - 8"/>
          <xsl:with-param name="y" select="$keyTop + (position() - 1) * $rowHeight"/>
          <xsl:with-param name="value">
            <xsl:value-of select="format-number($value, '#,##0')"/>
            <xsl:if test="$total &gt; 0"><xsl:value-of select="concat(' (', format-number($value div $total * 100, '0.0'), '%)')"/></xsl:if>
          </xsl:with-param>
        </xsl:call-template>
      </xsl:for-each>
    </g>
  </xsl:template>

  <!-- A key or legend row of the current series: swatch, name and value right-aligned at right. -->
  <xsl:template name="keyrow">
    <xsl:param name="left"/>
    <xsl:param name="right"/>
    <xsl:param name="y"/>
    <xsl:param name="value"/>
    <rect class="swatch" x="{$left + 0.5}" width="12" height="12">
      <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$y + 3.5"/></xsl:call-template></xsl:attribute>
      <xsl:attribute name="fill"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:attribute>
      <xsl:call-template name="outline"><xsl:with-param name="serie" select="."/></xsl:call-template>
    </rect>
    <text class="keyname" x="{$left + 18}">
      <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$y + 14"/></xsl:call-template></xsl:attribute>
      <xsl:call-template name="short">
        <xsl:with-param name="text" select="string(name)"/>
        <xsl:with-param name="width" select="$right - $left - 18 - string-length($value) * $cw - 10"/>
      </xsl:call-template>
    </text>
    <text class="keyvalue" x="{$right}" text-anchor="end">
      <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$y + 14"/></xsl:call-template></xsl:attribute>
      <xsl:value-of select="$value"/>
    </text>
  </xsl:template>

  <!-- Bars and lines: the series with their totals in two columns under the plot. -->
  <xsl:template name="legend">
    <xsl:variable name="column" select="($W - 16) div 2"/>
    <g class="legend">
      <xsl:for-each select="$series">
        <xsl:variable name="left" select="8 + $column * ((position() - 1) mod 2)"/>
        <xsl:call-template name="keyrow">
          <xsl:with-param name="left" select="$left"/>
          <xsl:with-param name="right" select="$left + $column - 10"/>
          <xsl:with-param name="y" select="$legendTop + floor((position() - 1) div 2) * $rowHeight"/>
          <xsl:with-param name="value" select="format-number(sum(point/@y), '#,##0')"/>
        </xsl:call-template>
      </xsl:for-each>
    </g>
  </xsl:template>

</xsl:stylesheet>
