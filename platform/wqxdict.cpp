// The tag dictionary of the object model: every tag number the object
// classes write or read, with the value type it travels as. Wire object codes
// (and the message info's indexes-only flag) carry no value; 18 and 60, which
// some classes write as 8-bit, are typed 32-bit so every writer's value fits.
#include "velmor.h"

namespace {

constexpr VelmorDictEntry kEntries[] = {
    {5, VTAG_NONE, true}, {15, VTAG_NONE, true}, {16, VTAG_NONE, true}, {23, VTAG_NONE, true},
    {29, VTAG_NONE, true}, {36, VTAG_NONE, true}, {48, VTAG_NONE, true}, {63, VTAG_NONE, true},
    {65, VTAG_NONE, true}, {72, VTAG_NONE, true}, {73, VTAG_NONE, true}, {77, VTAG_NONE, true},
    {171, VTAG_NONE, true}, {175, VTAG_NONE, true},
    {66, VTAG_NONE, false},
    {8, VTAG_UINT32, false}, {11, VTAG_UINT32, false}, {12, VTAG_UINT32, false},
    {13, VTAG_UINT32, false}, {14, VTAG_UINT32, false}, {18, VTAG_UINT32, false},
    {25, VTAG_UINT32, false}, {33, VTAG_UINT32, false}, {34, VTAG_UINT32, false},
    {37, VTAG_UINT32, false}, {39, VTAG_UINT32, false}, {44, VTAG_UINT32, false},
    {45, VTAG_UINT32, false}, {46, VTAG_UINT32, false}, {47, VTAG_UINT32, false},
    {57, VTAG_UINT32, false}, {58, VTAG_UINT32, false}, {60, VTAG_UINT32, false},
    {64, VTAG_UINT32, false}, {67, VTAG_UINT32, false}, {69, VTAG_UINT32, false},
    {70, VTAG_UINT32, false}, {71, VTAG_UINT32, false}, {174, VTAG_UINT32, false},
    {178, VTAG_UINT32, false}, {179, VTAG_UINT32, false}, {181, VTAG_UINT32, false},
    {6, VTAG_UINT8, false}, {7, VTAG_UINT8, false}, {10, VTAG_UINT8, false},
    {17, VTAG_UINT8, false}, {19, VTAG_UINT8, false}, {20, VTAG_UINT8, false},
    {22, VTAG_UINT8, false}, {24, VTAG_UINT8, false}, {27, VTAG_UINT8, false},
    {28, VTAG_UINT8, false}, {35, VTAG_UINT8, false}, {38, VTAG_UINT8, false},
    {40, VTAG_UINT8, false}, {41, VTAG_UINT8, false}, {42, VTAG_UINT8, false},
    {43, VTAG_UINT8, false}, {76, VTAG_UINT8, false}, {88, VTAG_UINT8, false},
    {182, VTAG_UINT8, false},
    {9, VTAG_STRING, false}, {21, VTAG_STRING, false}, {26, VTAG_STRING, false},
    {30, VTAG_STRING, false}, {31, VTAG_STRING, false}, {32, VTAG_STRING, false},
    {59, VTAG_STRING, false}, {74, VTAG_STRING, false}, {83, VTAG_STRING, false},
    {172, VTAG_STRING, false}, {173, VTAG_STRING, false}, {176, VTAG_STRING, false},
    {177, VTAG_STRING, false}, {180, VTAG_STRING, false},
    {49, VTAG_FLOAT, false}, {50, VTAG_FLOAT, false}, {51, VTAG_FLOAT, false},
    {52, VTAG_FLOAT, false}, {53, VTAG_FLOAT, false}, {54, VTAG_FLOAT, false},
    {55, VTAG_FLOAT, false}, {56, VTAG_FLOAT, false}, {75, VTAG_FLOAT, false},
    {79, VTAG_FLOAT, false}, {80, VTAG_FLOAT, false}, {81, VTAG_FLOAT, false},
    {82, VTAG_FLOAT, false}, {84, VTAG_FLOAT, false}, {85, VTAG_FLOAT, false},
    {86, VTAG_FLOAT, false},
};

constexpr VelmorDictDef kDictDef(kEntries, sizeof kEntries / sizeof kEntries[0]);

}  // namespace

namespace WQX {
const VelmorDictDef* const DictDef = &kDictDef;
}  // namespace WQX
