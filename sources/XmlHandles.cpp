#include "sources/XmlHandles.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

void TXmlDocFree::operator()(_xmlDoc* doc) const {
    xmlFreeDoc(doc);
}

void TXmlParserCtxtFree::operator()(_xmlParserCtxt* context) const {
    xmlFreeParserCtxt(context);
}

void TXmlCharFree::operator()(unsigned char* text) const {
    xmlFree(text);
}
