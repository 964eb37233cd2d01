#include "EncoderOutputLog.h"

void registerEncoderOutputLogTypes()
{
    qRegisterMetaType<EncoderOutputLog>("EncoderOutputLog");
    qRegisterMetaType<EncoderOutputLogs>("EncoderOutputLogs");
}
