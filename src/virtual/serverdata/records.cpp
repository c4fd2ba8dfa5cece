#include "records.h"

namespace Tavio {

Rondel_hubRecord::Rondel_hubRecord(QObject* parent)
    : Record(parent)
{
}

Rondel_clientRecord::Rondel_clientRecord(QObject* parent)
    : Record(parent)
{
}

Rondel_sessionRecord::Rondel_sessionRecord(QObject* parent)
    : Record(parent)
{
}

TestSessionParameters::TestSessionParameters(QObject* parent)
    : Record(parent)
{
}

TestQuestionDocument::TestQuestionDocument(QObject* parent)
    : Record(parent)
{
}

PossibleResponse::PossibleResponse(QObject* parent)
    : Record(parent)
{
}

QuestionResponse::QuestionResponse(QObject* parent)
    : Record(parent)
{
}

DeviceNamingOptions::DeviceNamingOptions(QObject* parent)
    : Record(parent)
{
}

DeviceInfo::DeviceInfo(QObject* parent)
    : Record(parent)
{
}

} // namespace Tavio
