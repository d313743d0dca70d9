// cObjectSiteConfig: the site as a whole, identified by its configuration
// number (which travels in neither tags nor JSON, so objects read from
// either keep the default number 1). Object type OBJ_SITE_CFG, wire object
// code 29.
//
// Ownership: the four texts are owned copies; their getters lend them.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_SITECFG_H
#define WQX_SITECFG_H

#include "object.h"

class WQX_EXPORT cObjectSiteConfig : public cObject {
public:
    // The one-byte code of tag 182; every byte value is a valid mode.
    enum eSiteNorthMode : int { NORTH_MODE_0 = 0, NORTH_MODE_MAX = 0xFF };

    cObjectSiteConfig();
    explicit cObjectSiteConfig(cObjectSiteConfig* source);
    ~cObjectSiteConfig() override;

    unsigned int getConfigNum() const { return configNum; }
    void setConfigNum(unsigned int v) { configNum = v; }
    const char* getSiteId() const { return siteId; }
    void setSiteId(const char* text);
    unsigned int getCurrentSeq() const { return currentSeq; }
    void setCurrentSeq(unsigned int v) { currentSeq = v; }
    unsigned int getCurrentTrendSeq() const { return currentTrendSeq; }
    void setCurrentTrendSeq(unsigned int v) { currentTrendSeq = v; }
    const char* getSiteLabel() const { return siteLabel; }
    void setSiteLabel(const char* text);
    eObjectOpState getSiteOpState() const { return siteOpState; }
    void setSiteOpState(eObjectOpState v) { siteOpState = v; }
    unsigned int getLastSeq() const { return lastSeq; }
    void setLastSeq(unsigned int v) { lastSeq = v; }
    unsigned int getLastTrendSeq() const { return lastTrendSeq; }
    void setLastTrendSeq(unsigned int v) { lastTrendSeq = v; }
    const char* getNmsAddress() const { return nmsAddress; }
    void setNmsAddress(const char* text);
    unsigned int getVersion() const { return version; }
    void setVersion(unsigned int v) { version = v; }
    unsigned int getCurrentAdhocSeq() const { return currentAdhocSeq; }
    void setCurrentAdhocSeq(unsigned int v) { currentAdhocSeq = v; }
    unsigned int getLastAdhocSeq() const { return lastAdhocSeq; }
    void setLastAdhocSeq(unsigned int v) { lastAdhocSeq = v; }
    const char* getSVPAddress() const { return svpAddress; }
    void setSVPAddress(const char* text);
    unsigned int getSVPPort() const { return svpPort; }
    void setSVPPort(unsigned int v) { svpPort = v; }
    // Tags only: the JSON form carries neither the north status nor the mode.
    // (Non-const, as they have always been declared.)
    eObjectStatus getNorthStatus() { return northStatus; }
    void setNorthStatus(eObjectStatus v) { northStatus = v; }
    // Read from tag 182 but never sent.
    eSiteNorthMode getNorthMode() { return northMode; }
    void setNorthMode(eSiteNorthMode v) { northMode = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    bool compIndex(cObject* other) override;
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

private:
    cObjectSiteConfig(const cObjectSiteConfig&) = delete;
    cObjectSiteConfig& operator=(const cObjectSiteConfig&) = delete;

    unsigned int configNum;
    char* siteId;
    unsigned int currentSeq;
    unsigned int currentTrendSeq;
    char* siteLabel;
    eObjectOpState siteOpState;
    unsigned int lastSeq;
    unsigned int lastTrendSeq;
    char* nmsAddress;
    unsigned int version;
    unsigned int currentAdhocSeq;
    unsigned int lastAdhocSeq;
    char* svpAddress;
    unsigned int svpPort;
    eObjectStatus northStatus;
    eSiteNorthMode northMode;
};

#endif
