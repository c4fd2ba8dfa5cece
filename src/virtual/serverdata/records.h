#pragma once

// The nine records the hub and its question session exchange with the classroom server.

#include "record.h"

#include <QtCore/QVariantList>

namespace Tavio {

// The classroom server's record of a hub.
class Rondel_hubRecord : public Record
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE setName)
    Q_PROPERTY(QString ProductVersion READ ProductVersion WRITE setProductVersion)
    Q_PROPERTY(QVariant Status READ Status WRITE setStatus)
    Q_PROPERTY(bool IsOnline READ IsOnline WRITE setIsOnline)
    Q_PROPERTY(
        QString CurrentRegistrationPin READ CurrentRegistrationPin WRITE setCurrentRegistrationPin)
    Q_PROPERTY(QString TemporaryPin READ TemporaryPin WRITE setTemporaryPin)
    Q_PROPERTY(bool HasMetadata READ HasMetadata WRITE setHasMetadata)
    Q_PROPERTY(bool IsDeleted READ IsDeleted WRITE setIsDeleted)
    Q_PROPERTY(QVariant CreationTime READ CreationTime WRITE setCreationTime)
    Q_PROPERTY(QVariant LastModified READ LastModified WRITE setLastModified)
    TAVIO_RECORD_FIELD(QString, Name)
    TAVIO_RECORD_FIELD(QString, ProductVersion)
    TAVIO_RECORD_FIELD(QVariant, Status)
    TAVIO_RECORD_FIELD(bool, IsOnline)
    TAVIO_RECORD_FIELD(QString, CurrentRegistrationPin)
    TAVIO_RECORD_FIELD(QString, TemporaryPin)
    TAVIO_RECORD_FIELD(bool, HasMetadata)
    TAVIO_RECORD_FIELD(bool, IsDeleted)
    TAVIO_RECORD_FIELD(QVariant, CreationTime)
    TAVIO_RECORD_FIELD(QVariant, LastModified)
public:
    explicit Rondel_hubRecord(QObject* parent = nullptr);
};

// A client program the server knows.
class Rondel_clientRecord : public Record
{
    Q_OBJECT
    Q_PROPERTY(QVariant AssociatedHubID READ AssociatedHubID WRITE setAssociatedHubID)
    Q_PROPERTY(QString Product READ Product WRITE setProduct)
    Q_PROPERTY(QString Version READ Version WRITE setVersion)
    Q_PROPERTY(bool Online READ Online WRITE setOnline)
    Q_PROPERTY(bool Subscribed READ Subscribed WRITE setSubscribed)
    Q_PROPERTY(bool HasMetadata READ HasMetadata WRITE setHasMetadata)
    Q_PROPERTY(bool IsDeleted READ IsDeleted WRITE setIsDeleted)
    Q_PROPERTY(QVariant CreationTime READ CreationTime WRITE setCreationTime)
    Q_PROPERTY(QVariant LastModified READ LastModified WRITE setLastModified)
    TAVIO_RECORD_FIELD(QVariant, AssociatedHubID)
    TAVIO_RECORD_FIELD(QString, Product)
    TAVIO_RECORD_FIELD(QString, Version)
    TAVIO_RECORD_FIELD(bool, Online)
    TAVIO_RECORD_FIELD(bool, Subscribed)
    TAVIO_RECORD_FIELD(bool, HasMetadata)
    TAVIO_RECORD_FIELD(bool, IsDeleted)
    TAVIO_RECORD_FIELD(QVariant, CreationTime)
    TAVIO_RECORD_FIELD(QVariant, LastModified)
public:
    explicit Rondel_clientRecord(QObject* parent = nullptr);
};

// One device's test session on the server.
class Rondel_sessionRecord : public Record
{
    Q_OBJECT
    Q_PROPERTY(QVariant StudentDeviceID READ StudentDeviceID WRITE setStudentDeviceID)
    Q_PROPERTY(int LastQuestionNumber READ LastQuestionNumber WRITE setLastQuestionNumber)
    Q_PROPERTY(QVariant SessionParameters READ SessionParameters WRITE setSessionParameters)
    Q_PROPERTY(QVariant SequenceTag READ SequenceTag WRITE setSequenceTag)
    Q_PROPERTY(QVariantList Questions READ Questions WRITE setQuestions)
    Q_PROPERTY(QVariantList Responses READ Responses WRITE setResponses)
    Q_PROPERTY(bool HasMetadata READ HasMetadata WRITE setHasMetadata)
    Q_PROPERTY(bool IsDeleted READ IsDeleted WRITE setIsDeleted)
    Q_PROPERTY(QVariant CreationTime READ CreationTime WRITE setCreationTime)
    Q_PROPERTY(QVariant LastModified READ LastModified WRITE setLastModified)
    TAVIO_RECORD_FIELD(QVariant, StudentDeviceID)
    TAVIO_RECORD_FIELD(int, LastQuestionNumber)
    TAVIO_RECORD_FIELD(QVariant, SessionParameters)
    TAVIO_RECORD_FIELD(QVariant, SequenceTag)
    TAVIO_RECORD_FIELD(QVariantList, Questions)
    TAVIO_RECORD_FIELD(QVariantList, Responses)
    TAVIO_RECORD_FIELD(bool, HasMetadata)
    TAVIO_RECORD_FIELD(bool, IsDeleted)
    TAVIO_RECORD_FIELD(QVariant, CreationTime)
    TAVIO_RECORD_FIELD(QVariant, LastModified)
public:
    explicit Rondel_sessionRecord(QObject* parent = nullptr);
};

// How a test session runs on the devices.
class TestSessionParameters : public Record
{
    Q_OBJECT
    Q_PROPERTY(int StartingSection READ StartingSection WRITE setStartingSection)
    Q_PROPERTY(
        int StartingQuestionNumber READ StartingQuestionNumber WRITE setStartingQuestionNumber)
    Q_PROPERTY(int SectionCount READ SectionCount WRITE setSectionCount)
    Q_PROPERTY(int TotalQuestions READ TotalQuestions WRITE setTotalQuestions)
    Q_PROPERTY(bool EnableQuestionCache READ EnableQuestionCache WRITE setEnableQuestionCache)
    Q_PROPERTY(bool BatchQuestions READ BatchQuestions WRITE setBatchQuestions)
    Q_PROPERTY(QString NavType READ NavType WRITE setNavType)
    Q_PROPERTY(QString SessionType READ SessionType WRITE setSessionType)
    Q_PROPERTY(QString NavTypeString READ NavTypeString WRITE setNavTypeString)
    Q_PROPERTY(QVariant Meta READ Meta WRITE setMeta)
    TAVIO_RECORD_FIELD(int, StartingSection)
    TAVIO_RECORD_FIELD(int, StartingQuestionNumber)
    TAVIO_RECORD_FIELD(int, SectionCount)
    TAVIO_RECORD_FIELD(int, TotalQuestions)
    TAVIO_RECORD_FIELD(bool, EnableQuestionCache)
    TAVIO_RECORD_FIELD(bool, BatchQuestions)
    TAVIO_RECORD_FIELD(QString, NavType)
    TAVIO_RECORD_FIELD(QString, SessionType)
    TAVIO_RECORD_FIELD(QString, NavTypeString)
    TAVIO_RECORD_FIELD(QVariant, Meta)
public:
    explicit TestSessionParameters(QObject* parent = nullptr);
};

// A question as the devices show it.
class TestQuestionDocument : public Record
{
    Q_OBJECT
    Q_PROPERTY(int QuestionNumber READ QuestionNumber WRITE setQuestionNumber)
    Q_PROPERTY(int AssessmentQuestionID READ AssessmentQuestionID WRITE setAssessmentQuestionID)
    Q_PROPERTY(QString QuestionType READ QuestionType WRITE setQuestionType)
    Q_PROPERTY(QString QuestionText READ QuestionText WRITE setQuestionText)
    Q_PROPERTY(QString Passage READ Passage WRITE setPassage)
    Q_PROPERTY(QString RenderFormat READ RenderFormat WRITE setRenderFormat)
    Q_PROPERTY(QVariantList PossibleResponses READ PossibleResponses WRITE setPossibleResponses)
    Q_PROPERTY(QVariant StudentResponse READ StudentResponse WRITE setStudentResponse)
    Q_PROPERTY(int MaxResponses READ MaxResponses WRITE setMaxResponses)
    Q_PROPERTY(bool ShowQuestionNumber READ ShowQuestionNumber WRITE setShowQuestionNumber)
    Q_PROPERTY(QString MathFormat READ MathFormat WRITE setMathFormat)
    Q_PROPERTY(QString QuestionTypeString READ QuestionTypeString WRITE setQuestionTypeString)
    Q_PROPERTY(
        QVariantList ContentResourceList READ ContentResourceList WRITE setContentResourceList)
    Q_PROPERTY(bool HasMetadata READ HasMetadata WRITE setHasMetadata)
    Q_PROPERTY(bool IsDeleted READ IsDeleted WRITE setIsDeleted)
    Q_PROPERTY(QVariant CreationTime READ CreationTime WRITE setCreationTime)
    Q_PROPERTY(QVariant LastModified READ LastModified WRITE setLastModified)
    TAVIO_RECORD_FIELD(int, QuestionNumber)
    TAVIO_RECORD_FIELD(int, AssessmentQuestionID)
    TAVIO_RECORD_FIELD(QString, QuestionType)
    TAVIO_RECORD_FIELD(QString, QuestionText)
    TAVIO_RECORD_FIELD(QString, Passage)
    TAVIO_RECORD_FIELD(QString, RenderFormat)
    TAVIO_RECORD_FIELD(QVariantList, PossibleResponses)
    TAVIO_RECORD_FIELD(QVariant, StudentResponse)
    TAVIO_RECORD_FIELD(int, MaxResponses)
    TAVIO_RECORD_FIELD(bool, ShowQuestionNumber)
    TAVIO_RECORD_FIELD(QString, MathFormat)
    TAVIO_RECORD_FIELD(QString, QuestionTypeString)
    TAVIO_RECORD_FIELD(QVariantList, ContentResourceList)
    TAVIO_RECORD_FIELD(bool, HasMetadata)
    TAVIO_RECORD_FIELD(bool, IsDeleted)
    TAVIO_RECORD_FIELD(QVariant, CreationTime)
    TAVIO_RECORD_FIELD(QVariant, LastModified)
public:
    explicit TestQuestionDocument(QObject* parent = nullptr);
};

// One answer a question offers.
class PossibleResponse : public Record
{
    Q_OBJECT
    Q_PROPERTY(int AnswerID READ AnswerID WRITE setAnswerID)
    Q_PROPERTY(QString Ordinal READ Ordinal WRITE setOrdinal)
    Q_PROPERTY(QString AnswerText READ AnswerText WRITE setAnswerText)
    TAVIO_RECORD_FIELD(int, AnswerID)
    TAVIO_RECORD_FIELD(QString, Ordinal)
    TAVIO_RECORD_FIELD(QString, AnswerText)
public:
    explicit PossibleResponse(QObject* parent = nullptr);
};

// A device's answer to its question.
class QuestionResponse : public Record
{
    Q_OBJECT
    Q_PROPERTY(int QuestionID READ QuestionID WRITE setQuestionID)
    Q_PROPERTY(QString Answer READ Answer WRITE setAnswer)
    Q_PROPERTY(QString AnswerType READ AnswerType WRITE setAnswerType)
    Q_PROPERTY(QString MathFormat READ MathFormat WRITE setMathFormat)
    Q_PROPERTY(QString AnswerTypeString READ AnswerTypeString WRITE setAnswerTypeString)
    Q_PROPERTY(int SecondsTaken READ SecondsTaken WRITE setSecondsTaken)
    Q_PROPERTY(int StartSecondsOffset READ StartSecondsOffset WRITE setStartSecondsOffset)
    TAVIO_RECORD_FIELD(int, QuestionID)
    TAVIO_RECORD_FIELD(QString, Answer)
    TAVIO_RECORD_FIELD(QString, AnswerType)
    TAVIO_RECORD_FIELD(QString, MathFormat)
    TAVIO_RECORD_FIELD(QString, AnswerTypeString)
    TAVIO_RECORD_FIELD(int, SecondsTaken)
    TAVIO_RECORD_FIELD(int, StartSecondsOffset)
public:
    explicit QuestionResponse(QObject* parent = nullptr);
};

// The limits of a name typed on a device.
class DeviceNamingOptions : public Record
{
    Q_OBJECT
    Q_PROPERTY(int MaxLength READ MaxLength WRITE setMaxLength)
    Q_PROPERTY(QString CharLimit READ CharLimit WRITE setCharLimit)
    Q_PROPERTY(bool ForceMaxLength READ ForceMaxLength WRITE setForceMaxLength)
    TAVIO_RECORD_FIELD(int, MaxLength)
    TAVIO_RECORD_FIELD(QString, CharLimit)
    TAVIO_RECORD_FIELD(bool, ForceMaxLength)
public:
    explicit DeviceNamingOptions(QObject* parent = nullptr);
};

// What the server knows of a learner device.
class DeviceInfo : public Record
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE setName)
    Q_PROPERTY(QString Product READ Product WRITE setProduct)
    Q_PROPERTY(double Version READ Version WRITE setVersion)
    Q_PROPERTY(bool Online READ Online WRITE setOnline)
    Q_PROPERTY(bool Subscribed READ Subscribed WRITE setSubscribed)
    TAVIO_RECORD_FIELD(QString, Name)
    TAVIO_RECORD_FIELD(QString, Product)
    TAVIO_RECORD_FIELD(double, Version)
    TAVIO_RECORD_FIELD(bool, Online)
    TAVIO_RECORD_FIELD(bool, Subscribed)
public:
    explicit DeviceInfo(QObject* parent = nullptr);
};

} // namespace Tavio
