#include "port.h"

#include "fieldtable.h"
#include "portfields.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectPort)

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

cObjectPort::cObjectPort() : cObject(OBJ_PORT) {
    // The object type stays as constructed even when the port type changes.
    // A copy takes its source's: deriving it from the port type instead
    // would let a copy of a port whose type changed after construction name
    // another class than its source, and so travel in JSON as that class.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 23, WQX_TABLE_LOG("cObjectPort"),
                             {"object in port parse not a JSON array",
                              "Array size in port parse array size:%d ",
                              "object in port parse not a JSON object "})
            .u32(&portId, 25, "TAG_IO_PNUM", 0, "pNum in port parse not a number")
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 1, "devId in port parse not a number")
            .code(&portType, 24, "TAG_PORT_TYPE", 2, "portType in port parse not a number",
                  kPortTypeCodes, KEEP_TAG | KEEP_JSON)
            .text(&portLabel, 21, "TAG_IO_LABEL", 3, "portLabel in port parse not a string")
            .code(&portOpState, 27, "TAG_PORT_STATE", 5, "portState in port parse not a number",
                  kOpStateCodes)
            .code(&portStatus, 28, "TAG_PORT_ALARM_STATUS", 4,
                  "portAlarmStatus in port parse not a number", kPortStatusCodes)
            .code(&portToggled, 88, "TAG_PORT_LAST_TOGGLED", 6,
                  "portLastToggled in dinput parse not a number", kToggleCodes)
            .copiesObjectType()
            .keys({&portId, &deviceSerial, &portType})
            .build();
    constructFields(this, *t);
}

cObjectPort::cObjectPort(ePortType type) : cObjectPort() {
    portType = type;
    setType(objectTypeFor(type));
}

void cObjectPort::copyPortFields(const cObjectPort& source) { copyObject(this, &source, *table); }

void cObjectPort::setPortLabel(const char* label) { setText(portLabel, label); }

// The I/O points' common head and tags, kept for classes derived outside
// the library; the library's own points describe theirs in their tables.
cTagList* cObjectPort::newPointTags(int wireCode) const {
    cTagList* tags = new cTagList;
    tags->add(wireCode);
    if (isSet(deviceSerial)) tags->add(8, deviceSerial);
    if (isSet(portId)) tags->add(18, portId);
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
