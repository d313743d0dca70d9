#include "trend.h"

#include "objectrows.h"

// Its fields: class cObjectTrend in objects.fields.
WQX_TABLE_CLASS(cObjectTrend)

cObjectTrend::cObjectTrend() : cObject(OBJ_TREND_EVENT) {
    WQX_CONSTRUCT(cObjectTrend);
}
