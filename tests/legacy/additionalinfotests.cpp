// The key=<value> items of a hub record, compared with the regular expression engine the item
// rule was first written for: "(.+)=<(.+)>" in minimal mode, matched left to right.

#include "support/testhub.h"

#include <gtest/gtest.h>

#include <QtCore/QHash>
#include <QtCore/QRandomGenerator>
#include <QtCore/QString>

#ifdef TAVIO_HAVE_QREGEXP
#include <QtCore5Compat/QRegExp>
#endif

using TavioTest::TestSystem;

namespace {

#ifdef TAVIO_HAVE_QREGEXP
QHash<QString, QString> oracleItems(const QString& text)
{
    QHash<QString, QString> items;
    QRegExp pattern(QStringLiteral("(.+)=<(.+)>"));
    pattern.setMinimal(true);
    int position = 0;
    while ((position = pattern.indexIn(text, position)) != -1) {
        items.insert(pattern.cap(1).simplified(), pattern.cap(2).simplified());
        position += qMax(1, pattern.matchedLength());
    }
    return items;
}

QHash<QString, QString> libraryItems(const QString& text)
{
    QHash<QString, QString> items;
    TestSystem::parseAdditionalDeviceInfo(text, items);
    return items;
}

TEST(AdditionalInformation, EmptyKeysAndValuesReadAsTheOldEngineReadThem)
{
    for (const char* text : { "=<1> k=<> v=<>>", "=<>", "a=<>>", "=<=<x>", "k=<v>>>", "k =<<v>",
             "xp=<2> xt=<3>", " =< > ", "a=<b=<c>d>" }) {
        EXPECT_EQ(libraryItems(QString::fromLatin1(text)), oracleItems(QString::fromLatin1(text)))
            << text;
    }
}

TEST(AdditionalInformation, GeneratedTextsReadAsTheOldEngineReadThem)
{
    // Few symbols, so that keys, "=<" and ">" collide in every arrangement.
    const QString alphabet = QStringLiteral("=<> ab");
    QRandomGenerator random(20261206);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = int(random.bounded(16));
        for (int i = 0; i < length; ++i)
            text += alphabet.at(int(random.bounded(alphabet.size())));
        ASSERT_EQ(libraryItems(text), oracleItems(text)) << text.toStdString();
    }
}
#endif

} // namespace
