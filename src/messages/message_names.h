// The two names that messages cite: set by the job driver at the start of every job.
#ifndef PICTOR_MESSAGES_MESSAGE_NAMES_H
#define PICTOR_MESSAGES_MESSAGE_NAMES_H

// A job path holds at most 256 characters, so a stem and ".tif" fit.
constexpr int kMessageNameBytes = 264;

struct MessageNames {
    char jobFileName[kMessageNameBytes];  // the context's jobFileName: the job-file messages
    char pictureName[kMessageNameBytes];  // stem + ".tif": the picture messages
};
extern thread_local MessageNames* tMessageNames;

void ResetMessageNames();

#endif
