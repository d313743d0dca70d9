#include "adhoc.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectAdhocEvent)

cObjectAdhocEvent::cObjectAdhocEvent() : cObject(OBJ_ADHOC_EVENT) {
    // The event's keys for sequence, time stamp and start sequence; the port
    // goes under the I/O key as the other records write it. The same warning
    // for a non-array argument and a non-object element: peers match it.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 175, WQX_TABLE_LOG("cObjectAdhocEvent"),
                             {"object in adhoc parse not a JSON array ",
                              "Array size in adhoc parse array size:%d ",
                              "object in adhoc parse not a JSON array "})
            .u32(&sequenceNumber, 37, "TAG_EVT_SEQ", 2, "seqNum in adhoc parse not a number")
            .u32(&timeStamp, 39, "TAG_EVT_TIMESTAMP", 3, "TimeStamp in adhoc parse not a number")
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devID in adhoc parse not a number")
            .u32(&portId, 25, "TAG_IO_PNUM", 1, "PortId in adhoc parse not a number")
            .text(&eventLabel, 176, "TAG_ADHOC_LABEL", 4, "Event label in adhoc parse not a string")
            .readAt(5)
            .text(&eventValue, 177, "TAG_ADHOC_VALUE", 5, "Event Value in adhoc parse not a string")
            .readAt(6)
            .u32(&startSeq, 44, "TAG_EVT_START_SEQ", 6, "startSeq in adhoc parse not a number")
            .readAt(4)
            .printKey("")
            .keys({&sequenceNumber})
            .build();
    constructFields(this, *t);
}

void cObjectAdhocEvent::setEventLabel(const char* text) { setText(eventLabel, text); }
void cObjectAdhocEvent::setEventValue(const char* text) { setText(eventValue, text); }
