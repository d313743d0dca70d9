// cObjectDevice: one device of the site, identified by its serial number.
// Object type OBJ_DEVICE, wire object code 5.
//
// Ownership: the label is an owned copy; getDeviceLabel lends it.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_DEVICE_H
#define WQX_DEVICE_H

#include "object.h"

class WQX_EXPORT cObjectDevice : public cObject {
public:
    // 0 is not set; the types are known only by number.
    enum eDeviceType : int {
        DEVICE_TYPE_NOT_SET = 0,
        DEVICE_TYPE_1 = 1, DEVICE_TYPE_2, DEVICE_TYPE_3, DEVICE_TYPE_4, DEVICE_TYPE_5,
        DEVICE_TYPE_6, DEVICE_TYPE_7, DEVICE_TYPE_8, DEVICE_TYPE_9, DEVICE_TYPE_10,
    };

    cObjectDevice();
    explicit cObjectDevice(cObjectDevice* source);
    ~cObjectDevice() override;

    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    const char* getDeviceLabel() const { return deviceLabel; }
    void setDeviceLabel(const char* label);
    eObjectOpState getDeviceOpState() const { return deviceOpState; }
    void setDeviceOpState(eObjectOpState v) { deviceOpState = v; }
    eObjectStatus getDeviceStatus() const { return deviceStatus; }
    void setDeviceStatus(eObjectStatus v) { deviceStatus = v; }
    eDeviceType getDeviceType() const { return deviceType; }
    void setDeviceType(eDeviceType v) { deviceType = v; }
    unsigned int getDiscreteInCount() const { return discreteInCount; }
    void setDiscreteInCount(unsigned int v) { discreteInCount = v; }
    unsigned int getDiscreteOutCount() const { return discreteOutCount; }
    void setDiscreteOutCount(unsigned int v) { discreteOutCount = v; }
    unsigned int getAnalogInCount() const { return analogInCount; }
    void setAnalogInCount(unsigned int v) { analogInCount = v; }
    unsigned int getAnalogOutCount() const { return analogOutCount; }
    void setAnalogOutCount(unsigned int v) { analogOutCount = v; }
    unsigned int getVersion() const { return version; }
    void setVersion(unsigned int v) { version = v; }

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
    cObjectDevice(const cObjectDevice&) = delete;
    cObjectDevice& operator=(const cObjectDevice&) = delete;

    unsigned int deviceSerial;
    char* deviceLabel;
    eObjectOpState deviceOpState;
    eObjectStatus deviceStatus;
    eDeviceType deviceType;
    unsigned int discreteInCount;
    unsigned int discreteOutCount;
    unsigned int analogInCount;
    unsigned int analogOutCount;
    unsigned int version;
};

#endif
