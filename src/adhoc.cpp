#include "adhoc.h"

#include "objectrows.h"

// Its fields: class cObjectAdhocEvent in objects.fields.
WQX_TABLE_CLASS(cObjectAdhocEvent)

cObjectAdhocEvent::cObjectAdhocEvent() : cObject(OBJ_ADHOC_EVENT) {
    WQX_CONSTRUCT(cObjectAdhocEvent);
}

void cObjectAdhocEvent::setEventLabel(const char* text) { wqx::setText(eventLabel, text); }
void cObjectAdhocEvent::setEventValue(const char* text) { wqx::setText(eventValue, text); }
