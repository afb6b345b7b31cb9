#pragma once
// A parsed XML file that tests question by XPath (the prefix "s" names the SVG namespace).

#include "profile/u_xmlprofile.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>
#include <string>

class TXmlProbe {
public:
    explicit TXmlProbe(const std::string& path) : Doc(xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET)) {
        if (!Doc) return;
        Context.reset(xmlXPathNewContext(Doc.get()));
        xmlXPathRegisterNs(Context.get(), BAD_CAST "s", BAD_CAST "http://www.w3.org/2000/svg");
    }
    bool Valid() const { return Doc != nullptr; }
    // Nodes matched by path; -1 when the document or the expression is bad.
    int Count(const std::string& path) const {
        const TObjectPtr r(Eval(path));
        return r && r->nodesetval ? r->nodesetval->nodeNr : r ? 0 : -1;
    }
    std::string Text(const std::string& path) const {
        const TObjectPtr r(Eval("string(" + path + ")"));
        return r && r->stringval ? reinterpret_cast<const char*>(r->stringval) : "";
    }

private:
    struct TContextFree {
        void operator()(xmlXPathContext* c) const { xmlXPathFreeContext(c); }
    };
    struct TObjectFree {
        void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
    };
    using TObjectPtr = std::unique_ptr<xmlXPathObject, TObjectFree>;
    xmlXPathObject* Eval(const std::string& path) const {
        return Context ? xmlXPathEvalExpression(BAD_CAST path.c_str(), Context.get()) : nullptr;
    }

    std::unique_ptr<xmlDoc, TXmlDocFree> Doc;
    std::unique_ptr<xmlXPathContext, TContextFree> Context;
};
