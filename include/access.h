// cObjectAccess: one access scan, a code read on one port of one device,
// identified by device serial and port number. Object type OBJ_ACCESS, wire
// object code 73.
//
// Ownership: the label and scan code are owned copies; the getters lend them
// until the next set of that field or the object's end. Errors: the JSON
// parse answers false with a warning; nothing throws.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_ACCESS_H
#define WQX_ACCESS_H

#include "object.h"

class WQX_EXPORT cObjectAccess : public cObject {
public:
    cObjectAccess();
    explicit cObjectAccess(cObjectAccess* source);
    ~cObjectAccess() override;

    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    // Only the low 8 bits of the port number go into a message.
    unsigned int getPortNum() const { return portNum; }
    void setPortNum(unsigned int v) { portNum = v; }
    const char* getLabel() const { return label; }
    void setLabel(const char* text);  // null clears
    const char* getScanCode() const { return scanCode; }
    void setScanCode(const char* text);  // null clears

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
    cObjectAccess(const cObjectAccess&) = delete;
    cObjectAccess& operator=(const cObjectAccess&) = delete;

    unsigned int deviceSerial;
    unsigned int portNum;
    char* label;
    char* scanCode;
};

#endif
