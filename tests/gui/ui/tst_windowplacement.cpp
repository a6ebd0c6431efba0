#include "gui/app/mainwindow.h"
#include "gui/ui/windowplacement.h"

#include "stationfixture.h"

#include <QScreen>

using namespace keldor;

namespace {

// The window areas of a maximized main window on three common screens.
const QRect area1280(0, 0, 1280, 736), area1366(0, 0, 1366, 704), area1920(0, 0, 1920, 1016);

// clang-format off
struct PlaceRow { const char *name; QRect area; QSize size; QPoint at; QRect placed; }
const placeRows[] = {
    {"1280x800 where asked", area1280, {640, 480}, {40, 30}, {40, 30, 640, 480}},
    {"1280x800 beyond right and bottom", area1280, {640, 480}, {900, 400}, {640, 256, 640, 480}},
    {"1366x768 beyond left and top", area1366, {700, 500}, {-300, -20}, {0, 0, 700, 500}},
    {"1920x1080 exactly the area", area1920, {1920, 1016}, {0, 0}, area1920},
    {"larger than the area", area1366, {1500, 900}, {-60, 10}, area1366},
};

struct StoredRow { const char *name, *stored; std::optional<QRect> restored; }
const storedRows[] = {
    {"first screen", "100,50,1200,700", QRect(100, 50, 1200, 700)},
    {"second screen", "2000,40,1100,700", QRect(2000, 40, 1100, 700)},
    {"across both screens", "1800,40,400,300", std::nullopt},
    {"screen gone", "3300,40,800,600", std::nullopt},
    {"larger than the screen now", "0,0,2000,1040", std::nullopt},
    {"damaged", "100,50,x,700", std::nullopt},
    {"first start", "", std::nullopt},
};
// clang-format on

} // namespace

class TestWindowPlacement : public QObject {
    Q_OBJECT

private slots:
    void childWindowEndsInsideTheArea_data() { addRows(placeRows); }
    void childWindowEndsInsideTheArea()
    {
        const PlaceRow &r = fetchRow(placeRows);
        QCOMPARE(placeInside(r.area, r.size, r.at), r.placed);
    }

    void storedPlaceMustFitAScreen_data() { addRows(storedRows); }
    void storedPlaceMustFitAScreen()
    {
        const StoredRow &r = fetchRow(storedRows);
        const QList<QRect> screens{{0, 0, 1920, 1040}, {1920, 0, 1280, 760}};
        QCOMPARE(fittingGeometry(QString::fromLatin1(r.stored), screens), r.restored);
        if (r.restored)
            QCOMPARE(geometryText(*r.restored), QString::fromLatin1(r.stored));
    }

    // Maximized on the first start; afterwards where the operator left it, stored on close.
    void mainWindowComesBackWhereItWasLeft()
    {
        StationFixture f;
        const QRect left =
            QGuiApplication::primaryScreen()->availableGeometry().adjusted(40, 30, -100, -80);
        for (const bool firstStart : {true, false}) {
            MainWindow window(f.station);
            window.showWithLastPlacement();
            QCOMPARE(window.isMaximized(), firstStart);
            if (firstStart) {
                window.showNormal();
                window.setGeometry(left);
            } else {
                QCOMPARE(window.geometry(), left);
            }
            window.close();
            QCOMPARE(f.stored("Main-Window"), geometryText(left));
            QCOMPARE(f.stored("Main-Window-Maximized"), "False");
        }
    }
};

QTEST_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
