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
// A string of a REG_MULTI_SZ list ("msz"), and a REG_EXPAND_SZ text that
// names Old through an environment variable ("env").
constexpr int kSubTypeMultiString = 10;
constexpr int kSubTypeEnvData = 11;

}  // namespace movix
