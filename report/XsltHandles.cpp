#include "report/XsltHandles.h"

#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltutils.h>

void TXsltStylesheetFree::operator()(_xsltStylesheet* sheet) const {
    xsltFreeStylesheet(sheet);
}

void TXsltTransformContextFree::operator()(_xsltTransformContext* context) const {
    xsltFreeTransformContext(context);
}

void TXsltSecurityPrefsFree::operator()(_xsltSecurityPrefs* prefs) const {
    xsltFreeSecurityPrefs(prefs);
}
