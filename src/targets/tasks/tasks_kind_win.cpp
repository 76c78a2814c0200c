// Scheduled tasks: the registration of their kind (service_kinds_win).

#include "targets/service_kinds_win.h"

namespace movix {

MOVIX_REGISTER_TARGET_KIND(TTaskKind)

}  // namespace movix
