// The list's own share of showing the start screen, in process: reading the folder, building
// the list view and painting it (which reads the headers of the rows on screen).
//
//   list_timing FOLDER [RUNS]   prints the first run and the median and worst of the rest, ms
#include "RecordingListModel.h"
#include "RecordingListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: list_timing FOLDER [RUNS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 21;
    std::vector<double> times;
    int rows = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        RecordingListModel model;
        model.reload(folder);
        RecordingListView view(&model);
        view.resize(680, 300);
        view.grab();
        times.push_back(timer.nsecsElapsed() / 1e6);
        rows = model.rowCount();
    }
    const double first = times.front();
    std::vector<double> rest(times.begin() + 1, times.end());
    std::sort(rest.begin(), rest.end());
    std::printf("%d rows: first %.2f ms, median %.2f ms, worst %.2f ms\n", rows, first,
                rest[rest.size() / 2], rest.back());
    return 0;
}
