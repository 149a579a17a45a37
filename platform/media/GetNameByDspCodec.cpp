#include "platform/media/GetNameByDspCodec.h"

#include <cstring>

int GetNameByDspCodec(int codec, char* name) {
    const char* text = nullptr;
    switch (codec) {
        case 0:
            text = "PCMU";
            break;
        case 3:
            text = "GSM";
            break;
        case 4:
            text = "G723";
            break;
        case 8:
            text = "PCMA";
            break;
        case 9:
            text = "G722";
            break;
        case 15:
            text = "G728";
            break;
        case 18:
            text = "G729";
            break;
    }
    std::strcpy(name, text ? text : "unknown");
    return text ? 1 : 0;
}
