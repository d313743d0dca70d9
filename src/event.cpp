#include "event.h"

#include "objectrows.h"

// Its fields: class cObjectEvent in objects.fields.
WQX_TABLE_CLASS(cObjectEvent)

namespace {

const wqx::CodePair kTypeCodes[] = {{1, 1}, {2, 2}, {3, 3}};
// Status 1 and 2 swap places on the wire; 3 stays.
const wqx::CodePair kStatusCodes[] = {{1, 2}, {2, 1}, {3, 3}};
const wqx::CodePair kOpCodes[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};

}  // namespace

cObjectEvent::cObjectEvent() : cObject(OBJ_EVENT) {
    WQX_CONSTRUCT(cObjectEvent);
}
