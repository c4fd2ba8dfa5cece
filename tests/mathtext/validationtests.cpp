// Question validation: second dialect, mixed text, markers "[" and "]", and the 512 code unit
// limit on the converted text.

#include <taviosystem/taviosystem.h>

#include <gtest/gtest.h>

#include <vector>

using Taviosystem::TavioSystem;

namespace {

struct ValidationCase
{
    const char* name;
    QString question;
    int result;
    int length;
};

std::vector<ValidationCase> validationCases()
{
    // Converts to "[", one length character, "1" and "]": four code units.
    const QString one = QStringLiteral("<math><mn>1</mn></math>");
    return {
        { "Empty", QString(), 0, 0 },
        { "SecondDialectWithMarkers",
            QStringLiteral("Is <math><msubsup><mi>x</mi><mi>i</mi><mn>2</mn></msubsup></math>?"), 0,
            3 + 15 + 1 },
        { "Exactly512", QString(508, u'a') + one, 0, 512 },
        { "Over512", QString(509, u'a') + one, -2, 513 },
        { "NotXml", QStringLiteral("Solve <math><mi>x</math></mi>"), 1, 0 },
        { "MissingEndTag", QStringLiteral("Solve <math><mi>x</mi>"), -1, 0 },
        { "FailureAfter512", QString(513, u'a') + "<math><mi>&nosuch;</mi></math>", -1, 0 },
    };
}

class QuestionValidationTest : public ::testing::TestWithParam<ValidationCase>
{
};

TEST_P(QuestionValidationTest, ResultAndLength)
{
    int length = 99; // always overwritten
    EXPECT_EQ(
        TavioSystem::instance().validateQuestion(GetParam().question, length), GetParam().result);
    EXPECT_EQ(length, GetParam().length);
    EXPECT_EQ(TavioSystem::instance().maxQuestionSize(), 512);
}

INSTANTIATE_TEST_SUITE_P(Validation, QuestionValidationTest, ::testing::ValuesIn(validationCases()),
    [](const ::testing::TestParamInfo<ValidationCase>& info) { return info.param.name; });

} // namespace
