// The batch command takes the decimal separator from the locale's name without Qt; the window
// asks Qt. Both must write the same bytes under every locale.
#include "locale_separator.h"

#include <QLocale>
#include <QTest>

class LocaleTest : public QObject {
    Q_OBJECT

private slots:
    void batchCommandAgreesWithTheWindowUnderEveryLocale() {
        QStringList names;
        for (const QLocale& locale : QLocale::matchingLocales(
                 QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            names.append(locale.name());
            names.append(locale.name().section(QLatin1Char('_'), 0, 0));
        }
        names.removeDuplicates();
        QVERIFY(names.size() > 300);

        QStringList differing;
        for (const QString& name : names) {
            // The window writes a comma for a decimal comma, and a point for anything else.
            const char window = QLocale(name).decimalPoint() == QStringLiteral(",") ? ',' : '.';
            const std::string posixName = name.toStdString() + ".UTF-8";
            if (dozorira::cli::decimalSeparatorOf(posixName) != window)
                differing.append(name + QLatin1Char('=') + QLatin1Char(window));
        }
        QVERIFY2(differing.isEmpty(), qPrintable(differing.join(QLatin1Char(' '))));
    }
};

int localeTests(int argc, char** argv) {
    LocaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "locale_test.moc"
