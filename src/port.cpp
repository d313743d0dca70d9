#include "port.h"

#include "objectrows.h"
#include "portfields.h"

using namespace wqx;

// Its fields: class cObjectPort in objects.fields.
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
    WQX_CONSTRUCT(cObjectPort);
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
