#include "messages/message_names.h"

MessageNames gMessageNames;

void ResetMessageNames() { gMessageNames = MessageNames{}; }
