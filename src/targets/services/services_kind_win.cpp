// Services and drivers: the registration of their kind (service_kinds_win).

#include "targets/service_kinds_win.h"

namespace movix {

MOVIX_REGISTER_TARGET_KIND(TServiceKind)

}  // namespace movix
