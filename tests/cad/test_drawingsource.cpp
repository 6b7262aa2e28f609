// Which drawing a snapshot belongs to, told from the document's FullName and
// Name, and a CAD whose documents have neither.

#include "cad/drawingsource.h"

#include <QTest>

#include <optional>

namespace {

// A document answering FullName and Name, or failing for a member it lacks.
class FakeDocument : public cad::Dispatch {
public:
    FakeDocument(std::optional<QString> fullName, std::optional<QString> name)
        : m_fullName(std::move(fullName)), m_name(std::move(name))
    {
    }
    QVariant invoke(const QString &member, cad::InvokeKind, QVariantList &) override
    {
        const std::optional<QString> &v = member.compare("FullName", Qt::CaseInsensitive) == 0 ? m_fullName
                                          : member.compare("Name", Qt::CaseInsensitive) == 0   ? m_name
                                                                                               : std::nullopt;
        if (!v)
            throw cad::AutomationError(QStringLiteral("Unknown name."));
        return *v;
    }

private:
    std::optional<QString> m_fullName, m_name;
};

cad::Document document(std::optional<QString> fullName, std::optional<QString> name)
{
    return cad::Document(std::make_shared<FakeDocument>(std::move(fullName), std::move(name)));
}

using Maybe = std::optional<QString>;

} // namespace

Q_DECLARE_METATYPE(std::optional<QString>)

class TestDrawingSource : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameDrawing_data()
    {
        QTest::addColumn<Maybe>("fullThen");
        QTest::addColumn<Maybe>("nameThen");
        QTest::addColumn<Maybe>("fullNow");
        QTest::addColumn<Maybe>("nameNow");
        QTest::addColumn<bool>("same");
        const Maybe none;
        QTest::newRow("same path") << Maybe("C:/a.dwg") << Maybe("a.dwg") << Maybe("C:/a.dwg") << Maybe("a.dwg") << true;
        QTest::newRow("same file name in another folder")
            << Maybe("C:/x/a.dwg") << Maybe("a.dwg") << Maybe("C:/y/a.dwg") << Maybe("a.dwg") << false;
        QTest::newRow("two drawings never saved")
            << Maybe("") << Maybe("Drawing1.dwg") << Maybe("") << Maybe("Drawing2.dwg") << false;
        QTest::newRow("the same drawing never saved")
            << Maybe("") << Maybe("Drawing1.dwg") << Maybe("") << Maybe("Drawing1.dwg") << true;
        QTest::newRow("saved in between") << Maybe("") << Maybe("Drawing1.dwg") << Maybe("C:/a.dwg")
                                          << Maybe("a.dwg") << false;
        QTest::newRow("only Name, differing") << none << Maybe("a") << none << Maybe("b") << false;
        QTest::newRow("neither member: as before") << none << none << none << none << true;
        QTest::newRow("the CAD now answers neither") << Maybe("C:/a.dwg") << none << none << none << true;
    }
    void sameDrawing()
    {
        QFETCH(Maybe, fullThen);
        QFETCH(Maybe, nameThen);
        QFETCH(Maybe, fullNow);
        QFETCH(Maybe, nameNow);
        QFETCH(bool, same);
        const cad::DrawingSource then = cad::DrawingSource::of(document(fullThen, nameThen));
        const std::optional<QString> refusal = cad::wrongDrawingMessage(then, document(fullNow, nameNow));
        QCOMPARE(!refusal.has_value(), same);
        if (refusal)
            QVERIFY(refusal->contains(then.displayName()));
    }
};

QTEST_GUILESS_MAIN(TestDrawingSource)
#include "test_drawingsource.moc"
