#include "sitecfg.h"

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(siteLog, "cObjectSiteConfig")

namespace {

// North status 1 and 2 travel as 0 and 1; 3 has no code and is not sent.
const CodePair kNorthStatusCodes[] = {{1, 0}, {2, 1}};

}  // namespace

cObjectSiteConfig::cObjectSiteConfig()
    : cObject(OBJ_SITE_CFG),
      configNum(1),
      siteId(nullptr),
      currentSeq(kNotSet32),
      currentTrendSeq(kNotSet32),
      siteLabel(nullptr),
      siteOpState(OPSTATE_NOT_SET),
      lastSeq(kNotSet32),
      lastTrendSeq(kNotSet32),
      nmsAddress(nullptr),
      version(kNotSet32),
      currentAdhocSeq(kNotSet32),
      lastAdhocSeq(kNotSet32),
      svpAddress(nullptr),
      svpPort(kNotSet32),
      northStatus(STATUS_NOT_SET),
      northMode(NORTH_MODE_0) {}

cObjectSiteConfig::cObjectSiteConfig(cObjectSiteConfig* source) : cObjectSiteConfig() {
    if (!source) return;
    configNum = source->configNum;
    setSiteId(source->siteId);
    currentSeq = source->currentSeq;
    currentTrendSeq = source->currentTrendSeq;
    setSiteLabel(source->siteLabel);
    siteOpState = source->siteOpState;
    lastSeq = source->lastSeq;
    lastTrendSeq = source->lastTrendSeq;
    setNmsAddress(source->nmsAddress);
    version = source->version;
    currentAdhocSeq = source->currentAdhocSeq;
    lastAdhocSeq = source->lastAdhocSeq;
    setSVPAddress(source->svpAddress);
    svpPort = source->svpPort;
    northStatus = source->northStatus;
    northMode = source->northMode;
}

cObjectSiteConfig::~cObjectSiteConfig() {
    delete[] siteId;
    delete[] siteLabel;
    delete[] nmsAddress;
    delete[] svpAddress;
}

void cObjectSiteConfig::setSiteId(const char* text) { setText(siteId, text); }
void cObjectSiteConfig::setSiteLabel(const char* text) { setText(siteLabel, text); }
void cObjectSiteConfig::setNmsAddress(const char* text) { setText(nmsAddress, text); }
void cObjectSiteConfig::setSVPAddress(const char* text) { setText(svpAddress, text); }

cTagList* cObjectSiteConfig::getTags() {
    cTagList* tags = new cTagList;
    tags->add(29);
    addIfSet(*tags, 30, siteId);
    addIfSet(*tags, 33, currentSeq);
    addIfSet(*tags, 70, currentTrendSeq);
    addIfSet(*tags, 31, siteLabel);
    addCode(*tags, 35, kOpStateCodes, siteOpState);
    addIfSet(*tags, 34, lastSeq);
    addIfSet(*tags, 71, lastTrendSeq);
    addIfSet(*tags, 32, nmsAddress);
    addIfSet(*tags, 64, version);
    addIfSet(*tags, 178, currentAdhocSeq);
    addIfSet(*tags, 179, lastAdhocSeq);
    addIfSet(*tags, 180, svpAddress);
    addIfSet(*tags, 181, svpPort);
    addCode(*tags, 7, kNorthStatusCodes, northStatus);
    return tags;
}

void cObjectSiteConfig::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 7:
        // Tag 7 carries the north status only; the north mode has tag 182
        // of its own and is not touched here.
        northStatus = static_cast<eObjectStatus>(valueOf(kNorthStatusCodes, cTagList::getUInt8(tag), 0));
        break;
    case 30: setSiteId(TagText(tag).c_str()); break;
    case 31: setSiteLabel(TagText(tag).c_str()); break;
    case 32: setNmsAddress(TagText(tag).c_str()); break;
    case 33: currentSeq = cTagList::getUInt32(tag); break;
    case 34: lastSeq = cTagList::getUInt32(tag); break;
    case 35:
        // An unknown state byte leaves the state as it was.
        siteOpState = static_cast<eObjectOpState>(
            valueOf(kOpStateCodes, cTagList::getUInt8(tag), siteOpState));
        break;
    case 64: version = cTagList::getUInt32(tag); break;
    case 70: currentTrendSeq = cTagList::getUInt32(tag); break;
    case 71: lastTrendSeq = cTagList::getUInt32(tag); break;
    case 178: currentAdhocSeq = cTagList::getUInt32(tag); break;
    case 179: lastAdhocSeq = cTagList::getUInt32(tag); break;
    case 180: setSVPAddress(TagText(tag).c_str()); break;
    case 181: svpPort = cTagList::getUInt32(tag); break;
    case 182: northMode = static_cast<eSiteNorthMode>(cTagList::getUInt8(tag)); break;
    default: logUnknownTag(siteLog(), tag); break;
    }
}

bool cObjectSiteConfig::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectSiteConfig::getJSONObj() {
    return JsonFields()
        .text("TAG_SITE_ID", siteId)
        .integer("TAG_SITE_CURR_EVT_SEQ", currentSeq)
        .integer("TAG_SITE_CURR_TREND_SEQ", currentTrendSeq)
        .integer("TAG_SITE_CURR_ADHOC_SEQ", currentAdhocSeq)
        .text("TAG_SITE_LABEL", siteLabel)
        .code("TAG_SITE_STATE", kOpStateCodes, siteOpState)
        .integer("TAG_SITE_LAST_EVT_SEQ", lastSeq)
        .integer("TAG_SITE_LAST_TREND_SEQ", lastTrendSeq)
        .integer("TAG_SITE_LAST_ADHOC_SEQ", lastAdhocSeq)
        .text("TAG_SITE_NMS_ADDRESS", nmsAddress)
        .integer("TAG_VERSION", version)
        .text("TAG_SITE_SVP_ADDRESS", svpAddress)
        .integer("TAG_SITE_SVP_PORT", svpPort)
        .release();
}

bool cObjectSiteConfig::parse(json_t* array) {
    // Several texts name other classes (access, ainput); log readers match
    // them as they stand.
    static const JsonParseTexts texts = {"object in sitecfg parse not a JSON array",
                                         "Array size in access parse array size:%d ",
                                         "object in access parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.text("TAG_SITE_ID", "SiteId in sitecfg parse not a string",
                      [this](const char* s) { setSiteId(s); }) &&
               e.u32("TAG_SITE_CURR_EVT_SEQ", "CurrentEventSequence in sitecfg parse not a number",
                     currentSeq) &&
               e.u32("TAG_SITE_CURR_TREND_SEQ",
                     "CurrentTrendSequence in sitecfg parse not a number", currentTrendSeq) &&
               e.u32("TAG_SITE_CURR_ADHOC_SEQ",
                     "CurrentAdhocSequence in sitecfg parse not a number", currentAdhocSeq) &&
               e.text("TAG_SITE_LABEL", "SiteLabel in sitecfg parse not a string",
                      [this](const char* s) { setSiteLabel(s); }) &&
               // An unknown state code leaves the state as it was.
               e.code8("TAG_SITE_STATE", "SiteState in sitecfg not a number", kOpStateCodes,
                       siteOpState, siteOpState) &&
               e.u32("TAG_SITE_LAST_EVT_SEQ", "LastEventSequence in sitecfg parse not a number",
                     lastSeq) &&
               e.u32("TAG_SITE_LAST_TREND_SEQ", "LastTrendSequence in sitecfg parse not a number",
                     lastTrendSeq) &&
               e.u32("TAG_SITE_LAST_ADHOC_SEQ", "LastAdhocSequence in sitecfg parse not a number",
                     lastAdhocSeq) &&
               e.text("TAG_SITE_NMS_ADDRESS", "SiteNmsAddress in ainput parse not a string",
                      [this](const char* s) { setNmsAddress(s); }) &&
               e.u32("TAG_VERSION", "Version in ainput parse not a number", version) &&
               e.text("TAG_SITE_SVP_ADDRESS", "SiteSVPAddress in sitecfg parse not a string",
                      [this](const char* s) { setSVPAddress(s); }) &&
               e.u32("TAG_SITE_SVP_PORT", "SVPPort in sitecfg parse not a number", svpPort);
    });
}

bool cObjectSiteConfig::compIndex(cObject* other) {
    cObjectSiteConfig* s = dynamic_cast<cObjectSiteConfig*>(other);
    return s && s->configNum == configNum;
}

bool cObjectSiteConfig::operator<(cObject& other) {
    // Checked cast: another class has no configuration number to compare with.
    cObjectSiteConfig* s = dynamic_cast<cObjectSiteConfig*>(&other);
    return s && configNum < s->configNum;
}

const char* cObjectSiteConfig::printKey() { return nullptr; }

cObject* cObjectSiteConfig::clone() { return new cObjectSiteConfig(this); }
