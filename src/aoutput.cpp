#include "aoutput.h"

#include "fieldtable.h"
#include "portfields.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectAOutput)

cObjectAOutput::cObjectAOutput() : cObjectPort(PORT_TYPE_AOUT) {
    // Unlike the other I/O points, the operational state goes under
    // "TAG_PORT_STATE", as the plain port writes it, and comes last; an
    // unknown code of it clears the state in JSON, where the tag reader keeps it.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 77, WQX_TABLE_LOG("cObjectAOutput"),
                             {"object in aoutput parse not a JSON array",
                              "Array size in aoutput parse array size:%d ",
                              "object in aoutput parse not a JSON array "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devId in aoutput parse not a number", INHERITED)
            .u32(&portId, 18, "TAG_IO_PNUM", 1, "pNum in aoutput parse not a number", INHERITED)
            .code(&portStatus, 28, "TAG_PORT_ALARM_STATUS", 2,
                  "alarmStatus in aoutput parse not a number", kPortStatusCodes, INHERITED)
            .readAt(3)
            .text(&portLabel, 21, "TAG_IO_LABEL", 3, "Port Label in aoutput parse not a string",
                  INHERITED)
            .readAt(2)
            .code(&portOpState, 22, "TAG_PORT_STATE", 16, "portState in port parse not a number",
                  kOpStateCodes, INHERITED | KEEP_TAG)
            .text(&displayUnit, 83, "TAG_AO_DISPLAY_UNIT", 12,
                  "displayUnit in aoutput parse not a string")
            .real(&sampledValue, 49, "TAG_IO_SAMPLED_VALUE", 4,
                  "sampledValue in aoutput parse not a number")
            .real(&offset, 50, "TAG_IO_OFFSET", 5, "offset in aoutput parse not a number")
            .real(&gain, 51, "TAG_IO_GAIN", 6, "gain in aoutput parse not a number")
            .real(&outputValue, 84, "TAG_AO_OUTPUT_VALUE", 7,
                  "outputValue in aoutput parse not a number")
            .real(&alarmLowWarn, 79, "TAG_AO_ALARM_LOW_WARN", 8,
                  "alarmLowWarn in aoutput parse not a number")
            .real(&alarmLowError, 80, "TAG_AO_ALARM_LOW_ERR", 9,
                  "alarmLowErr in aoutput parse not a number")
            .real(&alarmHighWarn, 81, "TAG_AO_ALARM_HIGH_WARN", 10,
                  "alarmHighWarn in aoutput parse not a number")
            .real(&alarmHighError, 82, "TAG_AO_ALARM_HIGH_ERR", 11,
                  "alarmHighErr in aoutput parse not a number")
            .real(&maximumValue, 85, "TAG_AO_MAXIMUM_VALUE", 13, "maxValue in aoutput parse not a number")
            .real(&minimumValue, 86, "TAG_AO_MINIMUM_VALUE", 14, "minValue in aoutput parse not a number")
            .code(&portToggled, 88, "TAG_PORT_LAST_TOGGLED", 15,
                  "alarmStatus in aoutput parse not a number", kToggleCodes, INHERITED)
            .ignored(19)
            .base(23)
            .keys({&portId, &deviceSerial})
            .build();
    constructFields(this, *t);
}

void cObjectAOutput::setDisplayUnit(const char* unit) { setText(displayUnit, unit); }
