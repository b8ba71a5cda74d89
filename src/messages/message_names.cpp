#include "messages/message_names.h"

thread_local MessageNames* tMessageNames = nullptr;

void ResetMessageNames() { *tMessageNames = MessageNames{}; }
