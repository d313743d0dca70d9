// cObjectPort: one port of a device, identified by port id, device serial and
// port type; object type OBJ_PORT, wire object code 23. It is also the base
// of the four I/O point classes, which keep its fields and accessors but
// write and read them in their own tag and JSON forms.
//
// Ownership: the label is an owned copy; getPortLabel lends it.
// Errors: unknown tags are logged and skipped; parse(json_t*) returns false
// at the first value of the wrong type.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_PORT_H
#define WQX_PORT_H

#include "object.h"

class WQX_EXPORT cObjectPort : public cObject {
public:
    // The kind of I/O point; 0 is a plain port. A port constructed with
    // types 1 to 4 takes the object type of the matching I/O class.
    enum ePortType : int {
        PORT_TYPE_PLAIN = 0,
        PORT_TYPE_DIN = 1,
        PORT_TYPE_DOUT = 2,
        PORT_TYPE_AIN = 3,
        PORT_TYPE_AOUT = 4,
    };
    // 0 is not set; the others are known only by number.
    enum ePortLastToggled : int {
        TOGGLED_NOT_SET = 0,
        TOGGLED_1 = 1, TOGGLED_2 = 2, TOGGLED_3 = 3, TOGGLED_4 = 4,
    };

    cObjectPort();
    // Stores type as the port type; types 1 to 4 also set the object type
    // (OBJ_PORT_DIN, OBJ_PORT_DOUT, OBJ_PORT_AIN, OBJ_PORT_AOUT).
    explicit cObjectPort(ePortType type);
    // A copy of source with its own label; a null source gives a default port.
    explicit cObjectPort(cObjectPort* source);
    ~cObjectPort() override;

    unsigned int getPortId() const { return portId; }
    void setPortId(unsigned int v) { portId = v; }
    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    // Changing the port type leaves the object type as constructed.
    ePortType getPortType() const { return portType; }
    void setPortType(ePortType v) { portType = v; }
    const char* getPortLabel() const { return portLabel; }
    void setPortLabel(const char* label);
    eObjectOpState getPortOpState() const { return portOpState; }
    void setPortOpState(eObjectOpState v) { portOpState = v; }
    eObjectStatus getPortStatus() const { return portStatus; }
    void setPortStatus(eObjectStatus v) { portStatus = v; }
    ePortLastToggled getPortToggled() const { return portToggled; }
    void setPortToggled(ePortLastToggled v) { portToggled = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    // True for any port (the I/O classes included) with the same port id,
    // device serial and port type.
    bool compIndex(cObject* other) override;
    // By port id, device serial, then port type; false for a non-port.
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

protected:
    // Copies every port field of source (the label into an array of our
    // own) and its object type, so a copy names the same class as source.
    void copyPortFields(const cObjectPort& source);

    // A new tag list opened the way every I/O point opens its group: wire
    // object code, device serial (tag 8), port id (tag 18).
    cTagList* newPointTags(int wireCode) const;
    // Reads the tags every I/O point reads alike: 8 device serial, 18 port
    // id, 21 label, 22 operational state (an unknown code keeps the state),
    // 88 last toggled. Returns false for any other tag.
    bool populatePointTag(VTag* tag);

    unsigned int portId;
    unsigned int deviceSerial;
    ePortType portType;
    char* portLabel;
    eObjectOpState portOpState;
    eObjectStatus portStatus;
    ePortLastToggled portToggled;

private:
    cObjectPort(const cObjectPort&) = delete;
    cObjectPort& operator=(const cObjectPort&) = delete;
};

#endif
