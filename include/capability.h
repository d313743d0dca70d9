// cObjectCapability: one capability of a device, a numbered label and text
// value, identified by device serial and capability id. Object type
// OBJ_CAPABILITY, wire object code 171.
//
// Ownership: the label and value are owned copies; the getters lend them
// until the next set of that field or the object's end. Errors: the JSON
// parse answers false with a warning; nothing throws.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_CAPABILITY_H
#define WQX_CAPABILITY_H

#include "object.h"

class WQX_EXPORT cObjectCapability : public cObject {
public:
    cObjectCapability();
    explicit cObjectCapability(cObjectCapability* source);
    ~cObjectCapability() override;

    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    unsigned int getCapId() const { return capId; }
    void setCapId(unsigned int v) { capId = v; }
    const char* getLabel() const { return label; }
    void setLabel(const char* text);  // null clears
    const char* getValue() const { return value; }
    void setValue(const char* text);  // null clears

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
    cObjectCapability(const cObjectCapability&) = delete;
    cObjectCapability& operator=(const cObjectCapability&) = delete;

    unsigned int deviceSerial;
    unsigned int capId;
    char* label;
    char* value;
};

#endif
