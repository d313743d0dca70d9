#include "port.h"

#include "portfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(portLog, "cObjectPort")

namespace {

// The object type a port constructed with each port type stands for.
const CodePair kObjectTypes[] = {{cObjectPort::PORT_TYPE_DIN, cObject::OBJ_PORT_DIN},
                                 {cObjectPort::PORT_TYPE_DOUT, cObject::OBJ_PORT_DOUT},
                                 {cObjectPort::PORT_TYPE_AIN, cObject::OBJ_PORT_AIN},
                                 {cObjectPort::PORT_TYPE_AOUT, cObject::OBJ_PORT_AOUT}};

cObject::eObjectTypes objectTypeFor(cObjectPort::ePortType type) {
    const int objectType = codeOf(kObjectTypes, type);
    return static_cast<cObject::eObjectTypes>(objectType >= 0 ? objectType : cObject::OBJ_PORT);
}

}  // namespace

cObjectPort::cObjectPort()
    : cObject(OBJ_PORT),
      portId(kNotSet32),
      deviceSerial(kNotSet32),
      portType(PORT_TYPE_PLAIN),
      portLabel(nullptr),
      portOpState(OPSTATE_NOT_SET),
      portStatus(STATUS_NOT_SET),
      portToggled(TOGGLED_NOT_SET) {}

cObjectPort::cObjectPort(ePortType type) : cObjectPort() {
    portType = type;
    setType(objectTypeFor(type));
}

cObjectPort::cObjectPort(cObjectPort* source) : cObjectPort() {
    if (source) copyPortFields(*source);
}

cObjectPort::~cObjectPort() { delete[] portLabel; }

void cObjectPort::copyPortFields(const cObjectPort& source) {
    portId = source.portId;
    deviceSerial = source.deviceSerial;
    portType = source.portType;
    setPortLabel(source.portLabel);
    portOpState = source.portOpState;
    portStatus = source.portStatus;
    portToggled = source.portToggled;
    // Deriving the type from the port type instead would let a copy of a
    // port whose type changed after construction name another class than
    // its source, and so travel in JSON as that class.
    setType(source.getType());
}

void cObjectPort::setPortLabel(const char* label) { setText(portLabel, label); }

cTagList* cObjectPort::getTags() {
    cTagList* tags = new cTagList;
    tags->add(23);
    addIfSet(*tags, 25, portId);
    addIfSet(*tags, 8, deviceSerial);
    addCode(*tags, 24, kPortTypeCodes, portType);
    addIfSet(*tags, 21, portLabel);
    addCode(*tags, 27, kOpStateCodes, portOpState);
    addCode(*tags, 28, kPortStatusCodes, portStatus);
    addCode(*tags, 88, kToggleCodes, portToggled);
    return tags;
}

void cObjectPort::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 21: setPortLabel(TagText(tag).c_str()); break;
    case 24:
        portType = static_cast<ePortType>(valueOf(kPortTypeCodes, cTagList::getUInt8(tag), portType));
        break;
    case 25: portId = cTagList::getUInt32(tag); break;
    case 27:
        portOpState = static_cast<eObjectOpState>(valueOf(kOpStateCodes, cTagList::getUInt8(tag), 0));
        break;
    case 28:
        portStatus = static_cast<eObjectStatus>(valueOf(kPortStatusCodes, cTagList::getUInt8(tag), 0));
        break;
    case 88:
        portToggled = static_cast<ePortLastToggled>(valueOf(kToggleCodes, cTagList::getUInt8(tag), 0));
        break;
    default: logUnknownTag(portLog(), tag); break;
    }
}

bool cObjectPort::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

cTagList* cObjectPort::newPointTags(int wireCode) const {
    cTagList* tags = new cTagList;
    tags->add(wireCode);
    addIfSet(*tags, 8, deviceSerial);
    addIfSet(*tags, 18, portId);
    return tags;
}

bool cObjectPort::populatePointTag(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); return true;
    case 18: portId = cTagList::getUInt32(tag); return true;
    case 21: setPortLabel(TagText(tag).c_str()); return true;
    case 22:
        portOpState = static_cast<eObjectOpState>(
            valueOf(kOpStateCodes, cTagList::getUInt8(tag), portOpState));
        return true;
    case 88:
        portToggled = static_cast<ePortLastToggled>(valueOf(kToggleCodes, cTagList::getUInt8(tag), 0));
        return true;
    default: return false;
    }
}

json_t* cObjectPort::getJSONObj() {
    return JsonFields()
        .integer("TAG_IO_PNUM", portId)
        .integer("TAG_DEV_ID", deviceSerial)
        .code("TAG_PORT_TYPE", kPortTypeCodes, portType)
        .text("TAG_IO_LABEL", portLabel)
        .code("TAG_PORT_ALARM_STATUS", kPortStatusCodes, portStatus)
        .code("TAG_PORT_STATE", kOpStateCodes, portOpState)
        .code("TAG_PORT_LAST_TOGGLED", kToggleCodes, portToggled)
        .release();
}

bool cObjectPort::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in port parse not a JSON array",
                                         "Array size in port parse array size:%d ",
                                         "object in port parse not a JSON object "};
    // The object type stays as constructed even when the port type changes.
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_IO_PNUM", "pNum in port parse not a number", portId) &&
               e.u32("TAG_DEV_ID", "devId in port parse not a number", deviceSerial) &&
               e.code8("TAG_PORT_TYPE", "portType in port parse not a number", kPortTypeCodes,
                       portType, portType) &&
               e.text("TAG_IO_LABEL", "portLabel in port parse not a string",
                      [this](const char* s) { setPortLabel(s); }) &&
               e.code8("TAG_PORT_ALARM_STATUS", "portAlarmStatus in port parse not a number",
                       kPortStatusCodes, portStatus) &&
               e.code8("TAG_PORT_STATE", "portState in port parse not a number", kOpStateCodes,
                       portOpState) &&
               e.code8("TAG_PORT_LAST_TOGGLED", "portLastToggled in dinput parse not a number",
                       kToggleCodes, portToggled);
    });
}

bool cObjectPort::compIndex(cObject* other) {
    cObjectPort* p = dynamic_cast<cObjectPort*>(other);
    return p && p->portId == portId && p->deviceSerial == deviceSerial &&
           p->portType == portType;
}

bool cObjectPort::operator<(cObject& other) {
    // Checked cast: comparing with another class answers false instead of
    // reading fields the other object does not have.
    cObjectPort* p = dynamic_cast<cObjectPort*>(&other);
    if (!p) return false;
    if (portId != p->portId) return portId < p->portId;
    if (deviceSerial != p->deviceSerial) return deviceSerial < p->deviceSerial;
    return static_cast<int>(portType) < static_cast<int>(p->portType);
}

const char* cObjectPort::printKey() { return nullptr; }

cObject* cObjectPort::clone() { return new cObjectPort(this); }
