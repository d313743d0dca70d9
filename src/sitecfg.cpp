#include "sitecfg.h"

#include "objectrows.h"

// Its fields: class cObjectSiteConfig in objects.fields.
WQX_TABLE_CLASS(cObjectSiteConfig)

namespace {

// North status 1 and 2 travel as 0 and 1; 3 has no code and is not sent.
const wqx::CodePair kNorthStatusCodes[] = {{1, 0}, {2, 1}};

}  // namespace

cObjectSiteConfig::cObjectSiteConfig() : cObject(OBJ_SITE_CFG) {
    WQX_CONSTRUCT(cObjectSiteConfig);
}

void cObjectSiteConfig::setSiteId(const char* text) { wqx::setText(siteId, text); }
void cObjectSiteConfig::setSiteLabel(const char* text) { wqx::setText(siteLabel, text); }
void cObjectSiteConfig::setNmsAddress(const char* text) { wqx::setText(nmsAddress, text); }
void cObjectSiteConfig::setSVPAddress(const char* text) { wqx::setText(svpAddress, text); }
