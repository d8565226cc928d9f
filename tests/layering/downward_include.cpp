// Compiled with the same include roots as upward_include.cpp: the database
// layer's own headers and those of the layers below are found.
#include "core/failure.h"
#include "db/conexao.h"
#include "notify/enviar_email.h"
