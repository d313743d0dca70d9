#include "doutput.h"

#include "fieldtable.h"
#include "portfields.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectDOutput)

cObjectDOutput::cObjectDOutput() : cObjectPort(PORT_TYPE_DOUT) {
    // Unlike the input, the states go through their setters (deriving the
    // status) in tags too, the label also comes as tag 26, an unknown status
    // code clears the status, and the alarm status has a JSON element of its
    // own. It is read after the states, so a written status wins over the
    // derived one.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 16, WQX_TABLE_LOG("cObjectDOutput"),
                             {"object in doutput parse not a JSON array",
                              "Array size in doutput parse array size:%d ",
                              "object in doutput parse not a JSON object "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devId in doutput parse not a number", INHERITED)
            .u32(&portId, 18, "TAG_IO_PNUM", 1, "pNum in doutput parse not a number", INHERITED)
            .code(&portOpState, 22, "TAG_IO_STATUS", 4, "portStatus in doutput parse not a number",
                  kOpStateCodes, INHERITED | KEEP_TAG | KEEP_JSON)
            .code(&portStatus, 28, "TAG_PORT_ALARM_STATUS", 5,
                  "portAlarmStatus in doutput parse not a number", kPortStatusCodes, INHERITED)
            .jsonCodes(kDiscreteAlarmCodes)
            .code(&outputState, 17, "TAG_IO_STATE", 3, "portState in doutput parse not a number",
                  kIOStateCodes)
            .code(&defaultState, 20, "TAG_IO_DEFAULT_STATE", 2,
                  "portDefaultState in doutput parse not a number", kIOStateCodes)
            .code(&portToggled, 88, "TAG_PORT_LAST_TOGGLED", 8,
                  "portLastToggled in doutput parse not a number", kToggleCodes, INHERITED)
            .readAt(7)
            .text(&portLabel, 21, "TAG_IO_LABEL", 7, "portLabel in doutput parse not a string",
                  INHERITED)
            .readAt(8)
            .constant(19, "TAG_IO_TYPE", 6, PORT_TYPE_DOUT)
            .text(&portLabel, 26, nullptr, -1, nullptr, INHERITED | NO_TAG_WRITE)
            .unknownTag("Unknown Tag: %02X(%d)")
            .base(23)
            .keys({&portId, &deviceSerial})
            .attach(discreteHooks<cObjectDOutput, PORT_TYPE_DOUT, true>)
            .build();
    constructFields(this, *t);
}

void cObjectDOutput::setOutputState(eObjectIOState v) { setDiscreteState(*this, outputState, v); }
void cObjectDOutput::setDefaultState(eObjectIOState v) { setDiscreteState(*this, defaultState, v); }
