// Built by the layers test only: the protocol layer including a window
// header must not compile, because kvm_protocol does not see src/app.
#include "app/DevReader.h"
