// Every message code of this library, with its name, its text and the kinds of its arguments
// ('d' an int, 's' a string), in the order the format takes them. The host's table of texts is
// built from this list, so a code, its name and its text cannot drift apart.
#ifndef PICTOR_MESSAGES_CODES_H
#define PICTOR_MESSAGES_CODES_H

// X(name, code, text, argument kinds). Codes that no check raises keep their texts: the table
// is the host's and is shipped whole. Codes 49 to 52 are this library's own additions to it: the
// final attempts have lowered the target to 0 and the picture still does not fit (49); a call on an
// encoder instance that runs another job (50) or given no picture or rows shorter than its
// width (51), or without an encoder, settings or stream (52).
#define PICTOR_MESSAGES(X)                                                                       \
    X(kMsgCannotWrite, 1, "Cannot write <%s>", "s")                                              \
    X(kMsgCannotOpen, 2, "Cannot open <%s> ", "s")                                               \
    X(kMsgYuvWriteError, 3, "YUV file write error.<%s> ", "s")                                   \
    X(kMsgWidthNotSupported, 10, "Image width [%d] is not supported <%s> ", "ds")                \
    X(kMsgHeightNotSupported, 11, "Image height [%d] is not supported <%s> ", "ds")              \
    X(kMsgVerticalSize, 12, "Vertical_size must not be zero or multiple of 4096 <%s> ", "s")     \
    X(kMsgCannotOpenSource, 13, "Cannot open TIFF source file <%s>", "s")                        \
    X(kMsgWrongTiffHeader, 14, "Wrong TIFF Header. <%s> ", "s")                                  \
    X(kMsgBytePositionAtEnd, 15, "Byteposition have been became to equal to StripByteCnt <%s> ", \
      "s")                                                                                       \
    X(kMsgSourcePositionAtEnd, 16,                                                               \
      "Source_position have been became to equal to StripByteCnt <%s> ", "s")                    \
    X(kMsgWritePositionAtEnd, 17,                                                                \
      "Write_position have been became to equal to expecting size <%s> ", "s")                   \
    X(kMsgStripReadError, 18, "TIFF strip data read error. <%s> ", "s")                          \
    X(kMsgNotSupportedImage, 19, "<%s> is not supported types image, or header is wrong. ", "s") \
    X(kMsgMacroblockTypeMap, 20, "Invalid Macroblock Type Map = %d  <%s> ", "ds")                \
    X(kMsgVbvBufferSize, 21, "VBV buffer size [%d] is not supported <%s> ", "ds")                \
    X(kMsgBitRate, 30, "Bit rate [%d] is not supported  <%s>", "ds")                             \
    X(kMsgFrameNumber, 31, "Frame [%d] Number Not Accepted ! <%s> ", "ds")                       \
    X(kMsgInvalidPanScan, 32, "Invalid PAN_SCAN mode: %s  <%s>", "ss")                           \
    X(kMsgInvalidFrameRate, 33, "Invalid FRMRT: %s <%s> ", "ss")                                 \
    X(kMsgInvalidAspect, 34, "Ivalid ASPECT_RATIO: %s <%s> ", "ss")                              \
    X(kMsgPanScanMissing, 35, "PAN_SCAN is not specified <%s> ", "s")                            \
    X(kMsgPanScanVectorWhenOff, 36,                                                              \
      "Invalid PAN_SCAN_VECTOR (PAN_SCAN mode is set to 'OFF') <%s> ", "s")                      \
    X(kMsgPanScanVectorMissing, 37,                                                              \
      "PAN_SCAN_VECTOR is not specified(PAN_SCAN mode is set to 'ON') <%s> ", "s")               \
    X(kMsgPanScanAspect, 38, "Mismatch between PAN_SCAN mode 'ON' and ASPECT_RATIO '3:4' <%s> ", \
      "s")                                                                                       \
    X(kMsgFrameRateMissing, 39, "FRMRT is not specified <%s>", "s")                              \
    X(kMsgAspectMissing, 40, "ASPECT_RATIO is not specified <%s>", "s")                          \
    X(kMsgTargetMissing, 41, "TARGET_SIZE is not specified <%s>", "s")                           \
    X(kMsgSourceMissing, 42, "SOURCE_FILE is not specified <%s>", "s")                           \
    X(kMsgSizeAspect, 43, "Mismatch between Image Size '%dx%d' and ASPECT_RATIO '9:16' <%s>",    \
      "dds")                                                                                     \
    X(kMsgSizePal, 44, "Mismatch between Image Size '%dx%d' and FRMRT 'PAL'. <%s>", "dds")       \
    X(kMsgSizeNtsc, 45, "Mismatch between Image Size '%dx%d' and FRMRT 'NTSC'. <%s>", "dds")     \
    X(kMsgWidthPanScan, 46, "Mismatch between Image Width '%d' and PAN_SCAN 'ON'. <%s>", "ds")   \
    X(kMsgJobPathTooLong, 47, "Input file name is too long <%s>", "s")                           \
    X(kMsgInvalidJobFileName, 48, "Invalid parameter file name <%s>", "s")                       \
    X(kMsgPictureDoesNotFit, 49, "Picture cannot be coded within %d bits <%s> ", "ds")           \
    X(kMsgEncoderBusy, 50, "Encoder is running another job <%s>", "s")                           \
    X(kMsgPictureMemory, 51, "Picture memory is missing or its rows are too short <%s>", "s")    \
    X(kMsgCallIncomplete, 52, "Encoder, settings or stream is missing <%s>", "s")

enum MessageCode : int {
#define PICTOR_MESSAGE_NAME(name, code, text, kinds) name = code,
    PICTOR_MESSAGES(PICTOR_MESSAGE_NAME)
#undef PICTOR_MESSAGE_NAME
};

// One row of the list above, for checks that walk every code.
struct MessageInfo {
    int code;
    const char* name;
    const char* text;
    const char* argumentKinds;
};
extern const MessageInfo kMessages[];
extern const int kMessageCount;

#endif
