// The kind code of each target and the sub-type codes of a hit: one set,
// shared by the searches, the replacers and the found items.
#pragma once

namespace movix {

// Kind codes of a hit; KindNone marks the "<none>" placeholder row.
constexpr int KindNone = -1;
constexpr int KindIni = 1;
constexpr int KindGrp = 2;
constexpr int KindLnk = 3;
constexpr int KindReg = 4;

// Sub-type codes of a hit.
constexpr int kSubTypeSection = 1;
constexpr int kSubTypeCommand = 2;
constexpr int kSubTypeIcon = 3;
constexpr int kSubTypeDir = 4;
constexpr int kSubTypeArgs = 5;
constexpr int kSubTypeKey = 6;
constexpr int kSubTypeValueName = 7;
constexpr int kSubTypeData = 8;
constexpr int kSubTypeExpandData = 9;

}  // namespace movix
