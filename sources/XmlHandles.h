#pragma once
// Owners for libxml2's handles (documents, parser contexts and the strings the library
// allocates), defined once for every unit that reads or writes XML.

#include <memory>

struct _xmlDoc;
struct _xmlParserCtxt;

struct TXmlDocFree {
    void operator()(_xmlDoc* doc) const;
};
struct TXmlParserCtxtFree {
    void operator()(_xmlParserCtxt* context) const;
};
// Text handed out by the library (xmlChar is unsigned char), released with xmlFree.
struct TXmlCharFree {
    void operator()(unsigned char* text) const;
};

using TXmlDocPtr = std::unique_ptr<_xmlDoc, TXmlDocFree>;
using TXmlParserCtxtPtr = std::unique_ptr<_xmlParserCtxt, TXmlParserCtxtFree>;
using TXmlCharPtr = std::unique_ptr<unsigned char, TXmlCharFree>;
