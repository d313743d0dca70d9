#include "event.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectEvent)

namespace {

const CodePair kTypeCodes[] = {{1, 1}, {2, 2}, {3, 3}};
// Status 1 and 2 swap places on the wire; 3 stays.
const CodePair kStatusCodes[] = {{1, 2}, {2, 1}, {3, 3}};
const CodePair kOpCodes[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};
// An incoming code outside a table is ignored, in tags and JSON alike: the
// field keeps the value it had.
const unsigned int kKeep = KEEP_TAG | KEEP_JSON;

}  // namespace

cObjectEvent::cObjectEvent() : cObject(OBJ_EVENT) {
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 36, WQX_TABLE_LOG("cObjectEvent"),
                             {"object in event parse not a JSON array",
                              "Array size in event parse array size:%d ",
                              "object in event parse not a JSON object "})
            .u32(&seqNum, 37, "TAG_EVT_SEQ", 0, "SeqNum in event parse not a number")
            // The type goes to JSON as stored, code or not.
            .code(&eventType, 38, "TAG_EVT_TYPE", 1, "event type in event parse not a number",
                  kTypeCodes, kKeep | STORED_JSON)
            .u32(&timeStamp, 39, "TAG_EVT_TIMESTAMP", 2, "TimeStamp in event parse not a number")
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 3, "DeviceSerial in event parse not a number")
            .u32(&portId, 25, "TAG_PORT_PNUM", 4, "PortId in event parse not a number")
            .u32(&objectType, 40, "TAG_EVT_OBJTYPE", 5, "ObjectType in event parse not a number",
                 LOW8 | READ8)
            .code(&status, 41, "TAG_EVT_ALARM_STATUS", 6, "Status in event parse not a number",
                  kStatusCodes, kKeep)
            .code(&opState, 42, "TAG_EVT_OP_STATE", 7, "OpState in event parse not a number",
                  kOpStateCodes, kKeep)
            .code(&eventOp, 43, "TAG_EVT_OPERATION_TYPE", 8, "EventOp in event parse not a number",
                  kOpCodes, kKeep)
            .u32(&deviceSerialOld, 67, "TAG_DEV_ID_OLD", 9,
                 "DeviceSerialOld in event parse not a number")
            .u32(&startSeq, 44, "TAG_EVT_START_SEQ", 10, "StartSeq in event parse not a number")
            .u32(&endSeq, 45, "TAG_EVT_END_SEQ", 11, "EndSeq in event parse not a number")
            .u32(&startTime, 46, "TAG_EVT_START_TIME", 12, "StartTime in event parse not a number")
            .u32(&endTime, 47, "TAG_EVT_END_TIME", 13, "EndTime in event parse not a number")
            .unknownTag("Unknown tag %d")
            .keys({&seqNum})
            .build();
    constructFields(this, *t);
}
