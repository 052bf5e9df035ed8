// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitpath.h"

#include <QTest>

class TestSplitPath : public QObject {
    Q_OBJECT

private slots:
    void split_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("drive_and_directory") << "C:/data/cjs.txt"
                                             << "C:/data"
                                             << "cjs.txt";
        QTest::newRow("drive_alone") << "C:/cjs.txt"
                                     << "C:"
                                     << "cjs.txt";
        QTest::newRow("absolute_unix") << "/home/a/cjs.txt"
                                       << "/home/a"
                                       << "cjs.txt";
        QTest::newRow("root") << "/cjs.txt"
                              << ""
                              << "cjs.txt";
        QTest::newRow("unc") << "//server/share/cjs.txt"
                             << "//server/share"
                             << "cjs.txt";
        QTest::newRow("trailing_separator") << "C:/data/"
                                            << "C:/data"
                                            << "";
        QTest::newRow("no_separator") << "cjs.txt"
                                      << "cjs.txt"
                                      << "cjs.txt";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("adjacent_separators") << "a//b.txt"
                                             << "a/"
                                             << "b.txt";
        QTest::newRow("backslash_pairs") << "C:\\\\data\\\\cjs.txt"
                                         << "C:\\\\data"
                                         << "cjs.txt";
        QTest::newRow("backslash_pair_wins_over_slash") << "C:\\\\my/data\\\\cjs.txt"
                                                        << "C:\\\\my/data"
                                                        << "cjs.txt";
        QTest::newRow("single_backslash_is_no_separator") << "C:\\data\\cjs.txt"
                                                          << "C:\\data\\cjs.txt"
                                                          << "C:\\data\\cjs.txt";
        QTest::newRow("single_backslash_beside_slash") << "/home/a\\b/cjs.txt"
                                                       << "/home/a\\b"
                                                       << "cjs.txt";
    }
    void split() {
        QFETCH(QString, path);
        QFETCH(QString, directory);
        QFETCH(QString, fileName);
        const PathParts parts = splitPath(path);
        QCOMPARE(parts.directory, directory);
        QCOMPARE(parts.fileName, fileName);
    }
};

QTEST_GUILESS_MAIN(TestSplitPath)
#include "tst_splitpath.moc"
