#include "tessaly/presenterassessment.h"
#include "tessaly/presentercollab.h"

PresenterAssessment::PresenterAssessment(QObject* parent, PresenterCollab* collab)
    : QObject(parent)
    , m_collab(collab)
{
}

PresenterAssessment::~PresenterAssessment() = default;

void PresenterAssessment::setCollaboration(PresenterCollab* collab) { m_collab = collab; }
PresenterCollab* PresenterAssessment::collaboration() const { return m_collab.data(); }

bool PresenterAssessment::start(QString token, Tessaly::AssessmentOptions* options)
{
    if (!m_collab)
        return false;
    const Tessaly::AssessmentOptions defaults;
    return m_collab->sendJson({ { QStringLiteral("type"), QStringLiteral("assessmentStart") },
        { QStringLiteral("token"), token },
        { QStringLiteral("options"), (options ? options : &defaults)->toVariantMap() } });
}

bool PresenterAssessment::stop()
{
    if (!m_collab)
        return false;
    return m_collab->sendJson({ { QStringLiteral("type"), QStringLiteral("assessmentStop") } });
}

bool PresenterAssessment::sendQuestion(QString token, Tessaly::QuestionBase* question)
{
    if (!m_collab || !question)
        return false;
    return m_collab->sendJson({ { QStringLiteral("type"), QStringLiteral("assessmentQuestion") },
        { QStringLiteral("token"), token },
        { QStringLiteral("question"), question->toVariantMap() } });
}

bool PresenterAssessment::sendMessage(QString token, QString text, bool popUp, bool final)
{
    if (!m_collab)
        return false;
    return m_collab->sendJson({ { QStringLiteral("type"), QStringLiteral("assessmentMessage") },
        { QStringLiteral("token"), token }, { QStringLiteral("text"), text },
        { QStringLiteral("popUp"), popUp }, { QStringLiteral("final"), final } });
}
