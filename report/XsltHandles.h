#pragma once
// Owners for libxslt's handles, defined once for every unit that runs stylesheets.

#include <memory>

struct _xsltStylesheet;
struct _xsltTransformContext;
struct _xsltSecurityPrefs;

struct TXsltStylesheetFree {
    void operator()(_xsltStylesheet* sheet) const;
};
struct TXsltTransformContextFree {
    void operator()(_xsltTransformContext* context) const;
};
struct TXsltSecurityPrefsFree {
    void operator()(_xsltSecurityPrefs* prefs) const;
};

using TXsltStylesheetPtr = std::unique_ptr<_xsltStylesheet, TXsltStylesheetFree>;
using TXsltTransformContextPtr = std::unique_ptr<_xsltTransformContext, TXsltTransformContextFree>;
using TXsltSecurityPrefsPtr = std::unique_ptr<_xsltSecurityPrefs, TXsltSecurityPrefsFree>;
