#include "messages/catalogue.h"

#include "messages/codes.h"

extern "C" {

const VarnMessage varnerrmsg_pictor[] = {
#define PICTOR_MESSAGE_ENTRY(name, code, text, kinds) {code, text},
    PICTOR_MESSAGES(PICTOR_MESSAGE_ENTRY)
#undef PICTOR_MESSAGE_ENTRY
        {-1, nullptr},
};

const VarnMessage varnerrmsg_varn[] = {
    {4, "Pictor error %d: "},
    {-1, nullptr},
};

const char* const VARNERRMSG_CANT_FIND_MESSAGE = "Pictor: no text for this message";

}  // extern "C"

const MessageInfo kMessages[] = {
#define PICTOR_MESSAGE_INFO(name, code, text, kinds) {code, #name, text, kinds},
    PICTOR_MESSAGES(PICTOR_MESSAGE_INFO)
#undef PICTOR_MESSAGE_INFO
};
const int kMessageCount = sizeof kMessages / sizeof kMessages[0];
