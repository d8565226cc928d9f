// Compiled with the include roots of the database layer and the layers below
// it: a header of the transfer layer above must not be found.
#include "transfer/frmatualizacao.h"
