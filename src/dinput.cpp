#include "dinput.h"

#include "fieldtable.h"
#include "portfields.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectDInput)

cObjectDInput::cObjectDInput() : cObjectPort(PORT_TYPE_DIN) {
    // Tags 17 and 20 are stored as sent, without deriving the status, and
    // unknown codes leave the fields as they were; JSON goes through the
    // setters, and its alarm status is not read: the setters derive it.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 15, WQX_TABLE_LOG("cObjectDInput"),
                             {"object in dinput parse not a JSON array",
                              "Array size in dinput parse array size:%d ",
                              "object in dinput parse not a JSON object "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devId in dinput parse not a number", INHERITED)
            .u32(&portId, 18, "TAG_IO_PNUM", 1, "pNum in dinput parse not a number", INHERITED)
            // The alarm status shares the operational state's element and
            // has no code for status 3.
            .code(&portStatus, 28, "TAG_PORT_ALARM_STATUS", 5, nullptr, kPortStatusCodes,
                  INHERITED | KEEP_TAG | JOIN | NO_JSON_READ)
            .jsonCodes(kDiscreteAlarmCodes)
            .code(&portOpState, 22, "TAG_IO_STATUS", 4, "portStatus in dinput parse not a number",
                  kOpStateCodes, INHERITED | KEEP_TAG | KEEP_JSON)
            .code(&inputState, 17, "TAG_IO_STATE", 3, "portState in dinput parse not a number",
                  kIOStateCodes, KEEP_TAG)
            .code(&defaultState, 20, "TAG_IO_DEFAULT_STATE", 2,
                  "portDefaultState in dinput parse not a number", kIOStateCodes, KEEP_TAG)
            .code(&portToggled, 88, "TAG_PORT_LAST_TOGGLED", 8,
                  "portLastToggled in dinput parse not a number", kToggleCodes, INHERITED)
            .readAt(7)
            .text(&portLabel, 21, "TAG_IO_LABEL", 7, "portLabel in dinput parse not a string",
                  INHERITED)
            .readAt(8)
            .constant(19, "TAG_IO_TYPE", 6, PORT_TYPE_DIN)
            .unknownTag("Unknown Input Tag %02X(%d)")
            .base(23)
            .keys({&portId, &deviceSerial})
            .attach(discreteHooks<cObjectDInput, PORT_TYPE_DIN, false>)
            .build();
    constructFields(this, *t);
}

void cObjectDInput::setInputState(eObjectIOState v) { setDiscreteState(*this, inputState, v); }
void cObjectDInput::setDefaultState(eObjectIOState v) { setDiscreteState(*this, defaultState, v); }
