#include "messages/catalogue.h"

extern "C" {

const VarnMessage varnerrmsg_pictor[] = {
    {1, "Cannot write <%s>"},
    {2, "Cannot open <%s> "},
    {3, "YUV file write error.<%s> "},
    {10, "Image width [%d] is not supported <%s> "},
    {11, "Image height [%d] is not supported <%s> "},
    {12, "Vertical_size must not be zero or multiple of 4096 <%s> "},
    {13, "Cannot open TIFF source file <%s>"},
    {14, "Wrong TIFF Header. <%s> "},
    {15, "Byteposition have been became to equal to StripByteCnt <%s> "},
    {16, "Source_position have been became to equal to StripByteCnt <%s> "},
    {17, "Write_position have been became to equal to expecting size <%s> "},
    {18, "TIFF strip data read error. <%s> "},
    {19, "<%s> is not supported types image, or header is wrong. "},
    {20, "Invalid Macroblock Type Map = %d  <%s> "},
    {21, "VBV buffer size [%d] is not supported <%s> "},
    {30, "Bit rate [%d] is not supported  <%s>"},
    {31, "Frame [%d] Number Not Accepted ! <%s> "},
    {32, "Invalid PAN_SCAN mode: %s  <%s>"},
    {33, "Invalid FRMRT: %s <%s> "},
    {34, "Ivalid ASPECT_RATIO: %s <%s> "},
    {35, "PAN_SCAN is not specified <%s> "},
    {36, "Invalid PAN_SCAN_VECTOR (PAN_SCAN mode is set to 'OFF') <%s> "},
    {37, "PAN_SCAN_VECTOR is not specified(PAN_SCAN mode is set to 'ON') <%s> "},
    {38, "Mismatch between PAN_SCAN mode 'ON' and ASPECT_RATIO '3:4' <%s> "},
    {39, "FRMRT is not specified <%s>"},
    {40, "ASPECT_RATIO is not specified <%s>"},
    {41, "TARGET_SIZE is not specified <%s>"},
    {42, "SOURCE_FILE is not specified <%s>"},
    {43, "Mismatch between Image Size '%dx%d' and ASPECT_RATIO '9:16' <%s>"},
    {44, "Mismatch between Image Size '%dx%d' and FRMRT 'PAL'. <%s>"},
    {45, "Mismatch between Image Size '%dx%d' and FRMRT 'NTSC'. <%s>"},
    {46, "Mismatch between Image Width '%d' and PAN_SCAN 'ON'. <%s>"},
    {47, "Input file name is too long <%s>"},
    {48, "Invalid parameter file name <%s>"},
    {-1, nullptr},
};

const VarnMessage varnerrmsg_varn[] = {
    {4, "Pictor error %d: "},
    {-1, nullptr},
};

const char* const VARNERRMSG_CANT_FIND_MESSAGE = "Pictor: no text for this message";

}  // extern "C"
