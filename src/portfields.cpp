#include "portfields.h"

namespace wqx {

const CodePair kPortStatusCodes[3] = {{1, 1}, {2, 0}, {3, 2}};
const CodePair kToggleCodes[4] = {{1, 1}, {2, 2}, {3, 4}, {4, 3}};
const CodePair kPortTypeCodes[4] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};
const CodePair kIOStateCodes[2] = {{1, 1}, {2, 0}};
const CodePair kDiscreteAlarmCodes[2] = {{1, 1}, {2, 0}};

cObject::eObjectStatus discreteStatus(cObject::eObjectIOState present,
                                      cObject::eObjectIOState normal) {
    if (present == cObject::IOSTATE_NOT_SET || normal == cObject::IOSTATE_NOT_SET)
        return cObject::STATUS_NOT_SET;
    return present == normal ? cObject::STATUS_2 : cObject::STATUS_1;
}

cObject::eObjectIOState ioStateOf(unsigned char code) {
    return static_cast<cObject::eObjectIOState>(
        valueOf(kIOStateCodes, code, cObject::IOSTATE_NOT_SET));
}

int discreteToggledJson(cObjectPort::ePortLastToggled toggled) {
    const int code = codeOf(kToggleCodes, toggled);
    return code >= 0 ? code : static_cast<int>(toggled);
}

}  // namespace wqx
