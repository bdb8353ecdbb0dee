// The floor of the idle benchmark: the least a Qt tray program can do to show a picture that
// changes once a second. A QSystemTrayIcon whose pixmap is redrawn on a timer, nothing else.
//
//   bench_idle_floor                               runs until killed, one redraw a second
//   bench_idle_floor --interval-ms 1 --warmup W --redraws N
//                                                  redraws as told, then prints resident
//                                                  memory after the warm-up and at the end

#include "procstatus.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The tray's usual height; the text changes with every redraw so the picture really differs.
QPixmap picture(int count)
{
    QPixmap pixmap(44, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QString::number(count % 100000));
    return pixmap;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption interval(u"interval-ms"_s, u"Time between redraws."_s, u"ms"_s,
                                      u"1000"_s);
    const QCommandLineOption warmup(u"warmup"_s, u"Redraws before the first memory figure."_s,
                                    u"count"_s, u"2000"_s);
    const QCommandLineOption redraws(
        u"redraws"_s, u"Redraws after the warm-up; then report and quit."_s, u"count"_s, u"0"_s);
    parser.addOptions({interval, warmup, redraws});
    parser.process(app);
    const int warmupCount = std::max(1, parser.value(warmup).toInt());
    const int measuredCount = parser.value(redraws).toInt();

    QSystemTrayIcon icon;
    int count = 0;
    icon.setIcon(QIcon(picture(count)));
    icon.show();

    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(parser.value(interval).toInt());
    long warmResident = 0;
    QElapsedTimer clock;
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        icon.setIcon(QIcon(picture(++count)));
        if (measuredCount <= 0)
            return;
        const pid_t self = getpid();
        const int done = count - warmupCount;
        if (done == 0) {
            warmResident = velmora::bench::statusKilobytes(self, "VmRSS");
            clock.start();
            std::printf("rss_warm_kb %ld\n", warmResident);
        } else if (done > 0 && done < measuredCount && done % std::max(1, measuredCount / 4) == 0) {
            std::printf("rss_at %d %ld\n", done, velmora::bench::statusKilobytes(self, "VmRSS"));
        } else if (done == measuredCount) {
            std::printf("redraws %d\nseconds %.1f\nrss_end_kb %ld\npeak_rss_kb %ld\n",
                        measuredCount, double(clock.elapsed()) / 1000,
                        velmora::bench::statusKilobytes(self, "VmRSS"),
                        velmora::bench::statusKilobytes(self, "VmHWM"));
            QApplication::quit();
        }
        std::fflush(stdout);
    });
    timer.start();
    return app.exec();
}
