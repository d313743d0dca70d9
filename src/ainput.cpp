#include "ainput.h"

#include "fieldtable.h"
#include "portfields.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectAInput)

namespace {

// The kinds of input travel as their own numbers; anything else reads as 0.
const CodePair kInputTypeCodes[] = {{1, 1}, {2, 2}, {3, 3}};

}  // namespace

cObjectAInput::cObjectAInput() : cObjectPort(PORT_TYPE_AIN) {
    // The operational state goes under "TAG_IO_STATUS" and, unlike every
    // other enumerated key, is read from the JSON integer's low 32 bits. The
    // last sample sequence is only ever received as a tag (60), never sent.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 48, WQX_TABLE_LOG("cObjectAInput"),
                             {"object in ainput parse not a JSON array",
                              "Array size in ainput parse array size:%d ",
                              "object in access parse not a JSON array "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devId in ainput parse not a number", INHERITED)
            .u32(&portId, 18, "TAG_IO_PNUM", 1, "pNum in ainput parse not a number", INHERITED)
            .code(&portStatus, 28, "TAG_PORT_ALARM_STATUS", 2,
                  "alarmStatus in ainput parse not a number", kPortStatusCodes, INHERITED)
            .readAt(3)
            .code(&portOpState, 22, "TAG_IO_STATUS", 3, "portStatus in ainput parse not a number",
                  kOpStateCodes, INHERITED | KEEP_TAG | KEEP_JSON | WIDE_JSON)
            .readAt(4)
            .text(&portLabel, 21, "TAG_IO_LABEL", 4, "portLabel in ainput parse not a string",
                  INHERITED)
            .readAt(2)
            .text(&displayUnit, 59, "TAG_AI_DISPLAY_UNIT", 15,
                  "displayUnit in ainput parse not a string")
            .real(&sampledValue, 49, "TAG_IO_SAMPLED_VALUE", 5,
                  "sampledValue in ainput parse not a number")
            .real(&offset, 50, "TAG_IO_OFFSET", 6, "offset in ainput parse not a number")
            .real(&gain, 51, "TAG_IO_GAIN", 7, "gain in ainput parse not a number")
            .real(&calculatedValue, 52, "TAG_AI_CALCULATED_VALUE", 8,
                  "calculatedValue in ainput parse not a number")
            .real(&alarmLowWarn, 53, "TAG_AI_ALARM_LOW_WARN", 9,
                  "alarmLowWarn in ainput parse not a number")
            .real(&alarmLowError, 54, "TAG_AI_ALARM_LOW_ERR", 10,
                  "alarmLowErr in ainput parse not a number")
            .real(&alarmHighWarn, 55, "TAG_AI_ALARM_HIGH_WARN", 11,
                  "alarmHighWarn in ainput parse not a number")
            .real(&alarmHighError, 56, "TAG_AI_ALARM_HIGH_ERR", 12,
                  "alarmHighErr in ainput parse not a number")
            .u32(&sampleRate, 57, "TAG_AI_SAMPLE_RATE", 13, "sampleRate in ainput parse not a number")
            .u32(&reportRate, 58, "TAG_AI_REPORT_RATE", 14, "reportRate in ainput parse not a number")
            .real(&acceptableNoise, 75, "TAG_AI_ACCEPTABLE_NOISE", 17,
                  "acceptableNoise in ainput parse not a number")
            .code(&analogInputType, 76, "TAG_AI_TYPE", 18, "type in ainput parse not a number",
                  kInputTypeCodes, STORED_JSON)
            .code(&portToggled, 88, "TAG_PORT_LAST_TOGGLED", 19,
                  "alarmStatus in aoutput parse not a number", kToggleCodes, INHERITED)
            .u32(&lastSampleSeq, 60, "TAG_AI_SAMPLE_SEQ", 16, "sampleSeq in ainput parse not a number",
                 NO_TAG_WRITE, 0)
            .u32(&sampleCounter, 0, nullptr, -1, nullptr, 0, 0)
            .ignored(19)
            .base(23)
            .keys({&portId, &deviceSerial})
            .build();
    constructFields(this, *t);
}

void cObjectAInput::setDisplayUnit(const char* unit) { setText(displayUnit, unit); }
