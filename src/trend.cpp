#include "trend.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectTrend)

cObjectTrend::cObjectTrend() : cObject(OBJ_TREND_EVENT) {
    // The array warning names the analog input; log readers match it as it stands.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 72, WQX_TABLE_LOG("cObjectTrend"),
                             {"object in ainput parse not a JSON array",
                              "Array size in trend parse array size:%d ",
                              "object in trend parse not a JSON object "})
            .u32(&trendSeqNum, 37, "TAG_EVT_SEQ", 0, "TrendSeqNum in trend parse not a number")
            .u32(&timeStamp, 39, "TAG_EVT_TIMESTAMP", 1, "TimeStamp in trend parse not a number")
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 2, "DeviceSerial in trend parse not a number")
            .u32(&portId, 25, "TAG_PORT_PNUM", 3, "PortID in trend parse not a number")
            // Always sent, as 8 bits; read whole.
            .u32(&objectType, 40, "TAG_EVT_OBJTYPE", 4, "ObjectType in trend parse not a number",
                 LOW8 | ALWAYS, 0)
            .real(&calculatedValue, 52, "TAG_AI_CALCULATED_VALUE", 5,
                  "CalculatedValue in trend parse not a number")
            .u32(&startSeqNum, 44, "TAG_EVT_START_SEQ", 6, "StartSeqNum in trend parse not a number")
            .printKey("")
            .keys({&trendSeqNum})
            .build();
    constructFields(this, *t);
}
