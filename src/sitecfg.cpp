#include "sitecfg.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectSiteConfig)

namespace {

// North status 1 and 2 travel as 0 and 1; 3 has no code and is not sent.
const CodePair kNorthStatusCodes[] = {{1, 0}, {2, 1}};

}  // namespace

cObjectSiteConfig::cObjectSiteConfig() : cObject(OBJ_SITE_CFG) {
    // Several texts name other classes (access, ainput); log readers match
    // them as they stand.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 29, WQX_TABLE_LOG("cObjectSiteConfig"),
                             {"object in sitecfg parse not a JSON array",
                              "Array size in access parse array size:%d ",
                              "object in access parse not a JSON object "})
            .text(&siteId, 30, "TAG_SITE_ID", 0, "SiteId in sitecfg parse not a string")
            .u32(&currentSeq, 33, "TAG_SITE_CURR_EVT_SEQ", 1,
                 "CurrentEventSequence in sitecfg parse not a number")
            .u32(&currentTrendSeq, 70, "TAG_SITE_CURR_TREND_SEQ", 2,
                 "CurrentTrendSequence in sitecfg parse not a number")
            .text(&siteLabel, 31, "TAG_SITE_LABEL", 4, "SiteLabel in sitecfg parse not a string")
            // An unknown state code leaves the state as it was.
            .code(&siteOpState, 35, "TAG_SITE_STATE", 5, "SiteState in sitecfg not a number",
                  kOpStateCodes, KEEP_TAG | KEEP_JSON)
            .u32(&lastSeq, 34, "TAG_SITE_LAST_EVT_SEQ", 6,
                 "LastEventSequence in sitecfg parse not a number")
            .u32(&lastTrendSeq, 71, "TAG_SITE_LAST_TREND_SEQ", 7,
                 "LastTrendSequence in sitecfg parse not a number")
            .text(&nmsAddress, 32, "TAG_SITE_NMS_ADDRESS", 9,
                  "SiteNmsAddress in ainput parse not a string")
            .u32(&version, 64, "TAG_VERSION", 10, "Version in ainput parse not a number")
            .u32(&currentAdhocSeq, 178, "TAG_SITE_CURR_ADHOC_SEQ", 3,
                 "CurrentAdhocSequence in sitecfg parse not a number")
            .u32(&lastAdhocSeq, 179, "TAG_SITE_LAST_ADHOC_SEQ", 8,
                 "LastAdhocSequence in sitecfg parse not a number")
            .text(&svpAddress, 180, "TAG_SITE_SVP_ADDRESS", 11,
                  "SiteSVPAddress in sitecfg parse not a string")
            .u32(&svpPort, 181, "TAG_SITE_SVP_PORT", 12, "SVPPort in sitecfg parse not a number")
            // Tag 7 carries the north status only; the north mode has tag
            // 182 of its own, only ever read. Neither is in JSON.
            .code(&northStatus, 7, nullptr, -1, nullptr, kNorthStatusCodes)
            .rawByte(&northMode, 182)
            .u32(&configNum, 0, nullptr, -1, nullptr, 0, 1)
            .keys({&configNum})
            .build();
    constructFields(this, *t);
}

void cObjectSiteConfig::setSiteId(const char* text) { setText(siteId, text); }
void cObjectSiteConfig::setSiteLabel(const char* text) { setText(siteLabel, text); }
void cObjectSiteConfig::setNmsAddress(const char* text) { setText(nmsAddress, text); }
void cObjectSiteConfig::setSVPAddress(const char* text) { setText(svpAddress, text); }
