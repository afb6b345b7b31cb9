<?xml version="1.0" encoding="UTF-8"?>
<!-- Draws a chart description (root "cvgraph") as a scalable 600 x 300 SVG picture:
     bar, line or pie, with title, axis titles, value grid, category labels (lowered ones
     staggered) and a legend when the description asks for one. Plain XSLT 1.0. -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns="http://www.w3.org/2000/svg">

  <xsl:output method="xml" encoding="UTF-8" indent="no" media-type="image/svg+xml"/>

  <xsl:variable name="pi" select="3.14159265358979"/>
  <xsl:variable name="W" select="600"/>
  <xsl:variable name="H" select="300"/>
  <xsl:variable name="font">'Liberation Sans', Arial, Helvetica, sans-serif</xsl:variable>

  <xsl:variable name="g" select="/cvgraph"/>
  <xsl:variable name="type" select="normalize-space($g/charttype)"/>
  <xsl:variable name="series" select="$g/series/serie"/>
  <xsl:variable name="count" select="count($series)"/>
  <xsl:variable name="hasTitle" select="normalize-space($g/title) != ''"/>
  <xsl:variable name="hasLegend" select="boolean($g/showlegend)"/>

  <!-- Longest texts, as character counts ("0" prefixed so that none gives 0). -->
  <xsl:variable name="nameChars">
    <xsl:for-each select="$series/name">
      <xsl:sort select="string-length(.)" data-type="number" order="descending"/>
      <xsl:if test="position() = 1"><xsl:value-of select="string-length(.)"/></xsl:if>
    </xsl:for-each>
  </xsl:variable>
  <xsl:variable name="legendChars">
    <xsl:variable name="n" select="number(concat('0', $nameChars))"/>
    <xsl:choose>
      <xsl:when test="$n &gt; 24">24</xsl:when>
      <xsl:otherwise><xsl:value-of select="$n"/></xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="tickChars">
    <xsl:for-each select="$g/yaxis/grid/line">
      <xsl:sort select="string-length(.)" data-type="number" order="descending"/>
      <xsl:if test="position() = 1"><xsl:value-of select="string-length(.)"/></xsl:if>
    </xsl:for-each>
  </xsl:variable>
  <xsl:variable name="lastX">
    <xsl:for-each select="$series/point">
      <xsl:sort select="@x" data-type="number" order="descending"/>
      <xsl:if test="position() = 1"><xsl:value-of select="@x"/></xsl:if>
    </xsl:for-each>
  </xsl:variable>

  <!-- Frame. -->
  <xsl:variable name="legendWidth" select="$legendChars * 6.2 + 38"/>
  <xsl:variable name="top" select="14 + 24 * number($hasTitle)"/>
  <xsl:variable name="right" select="$W - 16 - number($hasLegend) * ($legendWidth + 14)"/>

  <!-- Plot area of bar and line charts. -->
  <xsl:variable name="xTitle" select="normalize-space($g/xaxis/title)"/>
  <xsl:variable name="yTitle" select="normalize-space($g/yaxis/title)"/>
  <xsl:variable name="plotLeft" select="14 + 18 * number($yTitle != '') + number(concat('0', $tickChars)) * 6 + 8"/>
  <xsl:variable name="plotTop" select="$top + 4"/>
  <xsl:variable name="plotBottom"
      select="$H - 10 - 18 * number($xTitle != '') - 18 - 13 * number(boolean($g/xaxis/grid/line[@lowered = 'y']))"/>
  <xsl:variable name="plotWidth" select="$right - $plotLeft"/>
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

  <xsl:variable name="yMin" select="number($g/yaxis/min)"/>
  <xsl:variable name="yMax">
    <xsl:choose>
      <xsl:when test="number($g/yaxis/max) &gt; $yMin"><xsl:value-of select="number($g/yaxis/max)"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$yMin + 1"/></xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="ySpan" select="$yMax - $yMin"/>
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
         font-family="{$font}" font-size="11" fill="#333333">
      <rect class="background" x="0" y="0" width="{$W}" height="{$H}" fill="#ffffff"/>
      <xsl:if test="$hasTitle">
        <text class="title" x="{$W div 2}" y="24" text-anchor="middle" font-size="14" font-weight="bold"
              fill="#1a1a1a">
          <xsl:value-of select="$g/title"/>
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

  <xsl:template name="short">
    <xsl:param name="text"/>
    <xsl:param name="max"/>
    <xsl:choose>
      <xsl:when test="string-length($text) &gt; $max">
        <xsl:value-of select="concat(substring($text, 1, $max - 1), '&#x2026;')"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Bar and line charts. -->
  <xsl:template name="axes">
    <g class="grid" stroke="#e3e3e3" stroke-width="1">
      <xsl:for-each select="$g/yaxis/grid/line">
        <xsl:variable name="y" select="$plotBottom - (number(.) - $yMin) div $ySpan * $plotHeight"/>
        <xsl:if test="$y &gt;= $plotTop - 0.5 and $y &lt;= $plotBottom + 0.5">
          <line x1="{$plotLeft}" x2="{$right}">
            <xsl:attribute name="y1"><xsl:call-template name="n"><xsl:with-param name="v" select="$y"/></xsl:call-template></xsl:attribute>
            <xsl:attribute name="y2"><xsl:call-template name="n"><xsl:with-param name="v" select="$y"/></xsl:call-template></xsl:attribute>
          </line>
        </xsl:if>
      </xsl:for-each>
    </g>
    <!-- Tick labels at least 15 pixels apart: every tickEvery-th grid line. -->
    <xsl:variable name="gridLines" select="count($g/yaxis/grid/line)"/>
    <xsl:variable name="tickEvery">
      <xsl:choose>
        <xsl:when test="$gridLines &gt; 1">
          <xsl:value-of select="ceiling(15 div ((number($g/yaxis/grid/line[2]) - number($g/yaxis/grid/line[1]))
              div $ySpan * $plotHeight))"/>
        </xsl:when>
        <xsl:otherwise>1</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <g class="ticks" font-size="10" fill="#555555" text-anchor="end">
      <xsl:for-each select="$g/yaxis/grid/line">
        <xsl:variable name="y" select="$plotBottom - (number(.) - $yMin) div $ySpan * $plotHeight"/>
        <xsl:if test="$y &gt;= $plotTop - 0.5 and $y &lt;= $plotBottom + 0.5 and (position() - 1) mod $tickEvery = 0">
          <text x="{$plotLeft - 6}">
            <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$y + 3.5"/></xsl:call-template></xsl:attribute>
            <xsl:value-of select="."/>
          </text>
        </xsl:if>
      </xsl:for-each>
    </g>

    <xsl:choose>
      <xsl:when test="$type = 'line'"><xsl:call-template name="lines"/></xsl:when>
      <xsl:otherwise><xsl:call-template name="bars"/></xsl:otherwise>
    </xsl:choose>

    <g class="axis" stroke="#8c8c8c" stroke-width="1" fill="none">
      <path d="M{$plotLeft},{$plotTop} V{$plotBottom} H{$right}"/>
    </g>

    <!-- Category labels: written labels spread over the axis as the description thinned them. -->
    <xsl:variable name="written" select="count($g/xaxis/grid/line)"/>
    <xsl:variable name="labelChars">
      <xsl:for-each select="$g/xaxis/grid/line">
        <xsl:sort select="string-length(.)" data-type="number" order="descending"/>
        <xsl:if test="position() = 1"><xsl:value-of select="string-length(.)"/></xsl:if>
      </xsl:for-each>
    </xsl:variable>
    <!-- Flat labels that would still touch show every labelEvery-th one. -->
    <xsl:variable name="labelEvery">
      <xsl:choose>
        <xsl:when test="$written = 0 or $g/xaxis/grid/line[@lowered = 'y']">1</xsl:when>
        <xsl:otherwise>
          <xsl:value-of select="ceiling((number(concat('0', $labelChars)) * 5.6 + 8) div ($plotWidth div $written))"/>
        </xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <g class="categories" font-size="10" fill="#555555" text-anchor="middle">
      <xsl:for-each select="$g/xaxis/grid/line[(position() - 1) mod $labelEvery = 0]">
        <xsl:variable name="index">
          <xsl:choose>
            <xsl:when test="$written = $labels"><xsl:value-of select="count(preceding-sibling::line)"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="round(count(preceding-sibling::line) * $labels div $written)"/></xsl:otherwise>
          </xsl:choose>
        </xsl:variable>
        <text>
          <xsl:attribute name="x"><xsl:call-template name="n"><xsl:with-param name="v" select="$plotLeft + $slot * ($index + 0.5)"/></xsl:call-template></xsl:attribute>
          <xsl:attribute name="y"><xsl:value-of select="$plotBottom + 14 + 13 * number(@lowered = 'y')"/></xsl:attribute>
          <xsl:value-of select="."/>
        </text>
      </xsl:for-each>
    </g>

    <xsl:if test="$xTitle != ''">
      <text class="axistitle" x="{($plotLeft + $right) div 2}" y="{$H - 12}" text-anchor="middle" font-weight="bold"
            fill="#1a1a1a">
        <xsl:value-of select="$xTitle"/>
      </text>
    </xsl:if>
    <xsl:if test="$yTitle != ''">
      <text class="axistitle" text-anchor="middle" font-weight="bold" fill="#1a1a1a"
            transform="translate(22,{($plotTop + $plotBottom) div 2}) rotate(-90)">
        <xsl:value-of select="$yTitle"/>
      </text>
    </xsl:if>
  </xsl:template>

  <xsl:template name="bars">
    <xsl:variable name="group" select="$slot * 0.72"/>
    <xsl:variable name="barWidth" select="$group div $count"/>
    <xsl:variable name="gap">
      <xsl:choose>
        <xsl:when test="$barWidth &gt; 5">1</xsl:when>
        <xsl:otherwise>0</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:variable name="baseY" select="$plotBottom - ($baseValue - $yMin) div $ySpan * $plotHeight"/>
    <xsl:for-each select="$series">
      <xsl:variable name="s" select="position() - 1"/>
      <g class="serie">
        <xsl:attribute name="fill"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:attribute>
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
            <title><xsl:value-of select="concat(@y, ' (', ../name, ')')"/></title>
          </rect>
        </xsl:for-each>
      </g>
    </xsl:for-each>
  </xsl:template>

  <xsl:template name="lines">
    <xsl:for-each select="$series">
      <polyline class="line" fill="none" stroke-width="3" stroke-linejoin="round" stroke-linecap="round">
        <xsl:attribute name="stroke"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:attribute>
        <xsl:attribute name="points">
          <xsl:for-each select="point">
            <xsl:if test="position() &gt; 1"><xsl:text> </xsl:text></xsl:if>
            <xsl:call-template name="n"><xsl:with-param name="v" select="$plotLeft + $slot * (number(@x) + 0.5)"/></xsl:call-template>
            <xsl:text>,</xsl:text>
            <xsl:call-template name="n"><xsl:with-param name="v" select="$plotBottom - (number(@y) - $yMin) div $ySpan * $plotHeight"/></xsl:call-template>
          </xsl:for-each>
        </xsl:attribute>
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

  <xsl:template name="pie">
    <xsl:variable name="total" select="sum($series/point/@y[number(.) &gt; 0])"/>
    <xsl:variable name="r" select="100"/>
    <xsl:variable name="cx" select="(16 + $right) div 2"/>
    <xsl:variable name="cy" select="($top + $H - 10) div 2"/>
    <xsl:choose>
      <xsl:when test="$total &lt;= 0">
        <circle class="slice" cx="{$cx}" cy="{$cy}" r="{$r}" fill="#d9d9d9"/>
      </xsl:when>
      <xsl:otherwise>
        <g class="slices" stroke="#ffffff" stroke-width="1.5" stroke-linejoin="round">
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
                  <title><xsl:value-of select="name"/></title>
                </circle>
              </xsl:when>
              <xsl:otherwise>
                <xsl:variable name="c0"><xsl:call-template name="cos"><xsl:with-param name="a" select="$a0"/></xsl:call-template></xsl:variable>
                <xsl:variable name="s0"><xsl:call-template name="sin"><xsl:with-param name="a" select="$a0"/></xsl:call-template></xsl:variable>
                <xsl:variable name="c1"><xsl:call-template name="cos"><xsl:with-param name="a" select="$a1"/></xsl:call-template></xsl:variable>
                <xsl:variable name="s1"><xsl:call-template name="sin"><xsl:with-param name="a" select="$a1"/></xsl:call-template></xsl:variable>
                <path class="slice" fill="{$color}">
                  <xsl:attribute name="d">
                    <xsl:text>M</xsl:text><xsl:value-of select="$cx"/>,<xsl:value-of select="$cy"/>
                    <xsl:text> L</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$cx + $r * $c0"/></xsl:call-template>
                    <xsl:text>,</xsl:text><xsl:call-template name="n"><xsl:with-param name="v" select="$cy + $r * $s0"/></xsl:call-template>
                    <xsl:text> A</xsl:text><xsl:value-of select="$r"/>,<xsl:value-of select="$r"/>
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
        <g class="slicelabels" font-size="10.5" fill="#333333">
          <xsl:for-each select="$series">
            <xsl:variable name="value" select="sum(point/@y[number(.) &gt; 0])"/>
            <xsl:variable name="before" select="sum(preceding-sibling::serie/point/@y[number(.) &gt; 0])"/>
            <xsl:if test="$value &gt; 0">
              <xsl:variable name="am" select="-$pi div 2 + 2 * $pi * ($before + $value div 2) div $total"/>
              <xsl:variable name="c"><xsl:call-template name="cos"><xsl:with-param name="a" select="$am"/></xsl:call-template></xsl:variable>
              <xsl:variable name="s"><xsl:call-template name="sin"><xsl:with-param name="a" select="$am"/></xsl:call-template></xsl:variable>
              <xsl:variable name="onRight" select="number($c) &gt;= 0"/>
              <xsl:variable name="ex" select="$cx + ($r + 2) * $c"/>
              <xsl:variable name="ey" select="$cy + ($r + 2) * $s"/>
              <xsl:variable name="bx" select="$cx + ($r + 14) * $c"/>
              <xsl:variable name="by" select="$cy + ($r + 14) * $s"/>
              <xsl:variable name="tx" select="$bx + 8 * number($onRight) - 8 * number(not($onRight))"/>
              <polyline class="leader" fill="none" stroke="#9a9a9a" stroke-width="1">
                <xsl:attribute name="points">
                  <xsl:call-template name="n"><xsl:with-param name="v" select="$ex"/></xsl:call-template>,<xsl:call-template name="n"><xsl:with-param name="v" select="$ey"/></xsl:call-template>
                  <xsl:text> </xsl:text>
                  <xsl:call-template name="n"><xsl:with-param name="v" select="$bx"/></xsl:call-template>,<xsl:call-template name="n"><xsl:with-param name="v" select="$by"/></xsl:call-template>
                  <xsl:text> </xsl:text>
                  <xsl:call-template name="n"><xsl:with-param name="v" select="$tx - 3 * number($onRight) + 3 * number(not($onRight))"/></xsl:call-template>,<xsl:call-template name="n"><xsl:with-param name="v" select="$by"/></xsl:call-template>
                </xsl:attribute>
              </polyline>
              <text class="slicelabel">
                <xsl:attribute name="x"><xsl:call-template name="n"><xsl:with-param name="v" select="$tx"/></xsl:call-template></xsl:attribute>
                <xsl:attribute name="y"><xsl:call-template name="n"><xsl:with-param name="v" select="$by + 3.5"/></xsl:call-template></xsl:attribute>
                <xsl:attribute name="text-anchor">
                  <xsl:choose>
                    <xsl:when test="$onRight">start</xsl:when>
                    <xsl:otherwise>end</xsl:otherwise>
                  </xsl:choose>
                </xsl:attribute>
                <xsl:call-template name="short">
                  <xsl:with-param name="text" select="string(name)"/>
                  <xsl:with-param name="max" select="28 - 10 * number($hasLegend)"/>
                </xsl:call-template>
                <tspan dx="4" font-weight="bold" fill="#1a1a1a">
                  <xsl:value-of select="concat(format-number($value div $total * 100, '0.0'), '%')"/>
                </tspan>
              </text>
            </xsl:if>
          </xsl:for-each>
        </g>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="legend">
    <xsl:variable name="rowHeight" select="18"/>
    <xsl:variable name="height" select="$count * $rowHeight + 12"/>
    <xsl:variable name="x" select="$W - 16 - $legendWidth"/>
    <xsl:variable name="y0" select="$top + ($H - $top - $height) div 2"/>
    <xsl:variable name="y">
      <xsl:choose>
        <xsl:when test="$y0 &lt; $top"><xsl:value-of select="$top"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="$y0"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <g class="legend" font-size="11">
      <rect x="{$x}" y="{$y}" width="{$legendWidth}" height="{$height}" rx="4" fill="#fafafa" stroke="#d6d6d6"/>
      <xsl:for-each select="$series">
        <xsl:variable name="ry" select="$y + 6 + (position() - 1) * $rowHeight"/>
        <rect class="swatch" x="{$x + 10}" y="{$ry + 3}" width="12" height="12" rx="2">
          <xsl:attribute name="fill"><xsl:call-template name="color"><xsl:with-param name="serie" select="."/></xsl:call-template></xsl:attribute>
        </rect>
        <text x="{$x + 28}" y="{$ry + 13}">
          <xsl:call-template name="short">
            <xsl:with-param name="text" select="string(name)"/>
            <xsl:with-param name="max" select="$legendChars"/>
          </xsl:call-template>
        </text>
      </xsl:for-each>
    </g>
  </xsl:template>

</xsl:stylesheet>
