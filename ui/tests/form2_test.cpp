#include <QTest>
#include <QTextEdit>

#include "ui/Unit2.h"
#include "ui/tests/testutil.h"

class Form2Test : public QObject
{
    Q_OBJECT

private slots:
    void reportLinesRoundTrip()
    {
        Form2 form;
        QCOMPARE(form.reportLines(), QStringList());
        form.addLines({QStringLiteral("Zeltrac"), QString(), QStringLiteral("ИСХОДНЫЕ ДАННЫЕ")});
        form.addLines({QStringLiteral("<b>x</b>")});
        QCOMPARE(form.reportLines(),
                 (QStringList{QStringLiteral("Zeltrac"), QString(),
                              QStringLiteral("ИСХОДНЫЕ ДАННЫЕ"), QStringLiteral("<b>x</b>")}));
        form.clearReport();
        QCOMPARE(form.reportLines(), QStringList());
    }
};

ZELTRAC_REGISTER_TEST(Form2Test);

#include "form2_test.moc"
