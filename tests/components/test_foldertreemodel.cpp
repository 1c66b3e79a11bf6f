#include "components/FolderTreeModel.h"
#include "tests/support/QtPrinters.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace morbek;

namespace {

class FolderTreeModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = QDir::cleanPath(dir.path());
        for (const char* sub : {"beta", "alpha", "alpha/inner", ".hidden", "gamma"})
            ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(sub)));
        QFile file(root + QStringLiteral("/file.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    // Names of the loaded children of an item, in model order.
    static QStringList Children(const QAbstractItemModel& model, const QModelIndex& parent) {
        QStringList names;
        for (int row = 0; row < model.rowCount(parent); ++row)
            names << model.index(row, 0, parent).data().toString();
        return names;
    }

    // The model reads folders in the background and sorts them afterwards: wait for the
    // final order, then compare (so that a failure prints both lists).
    static QStringList Settled(const QAbstractItemModel& model, const QModelIndex& parent,
                               const QStringList& want) {
        (void)QTest::qWaitFor([&]() { return Children(model, parent) == want; }, 10000);
        return Children(model, parent);
    }

    QTemporaryDir dir;
    QString root;
};

TEST_F(FolderTreeModelTest, FolderRootShowsItsVisibleSubfoldersSortedAndStaysConsistent) {
    FolderTreeModel model({{root, QStringLiteral("top")}}, false);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex top = model.index(0, 0);
    EXPECT_EQ(top.data().toString(), QStringLiteral("top"));
    EXPECT_EQ(model.FilePath(top), root);
    EXPECT_FALSE(model.IsComputerItem(top));

    if (model.canFetchMore(top))
        model.fetchMore(top);
    const QStringList loaded{"alpha", "beta", "gamma"};
    EXPECT_EQ(Settled(model, top, loaded), loaded);
    const QModelIndex alpha = model.index(0, 0, top);
    EXPECT_EQ(model.parent(alpha), top);
    EXPECT_EQ(model.FilePath(alpha), root + QStringLiteral("/alpha"));

    // Changes on disk reach the tree, and the tester checks every signal on the way.
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("delta")));
    const QStringList added{"alpha", "beta", "delta", "gamma"};
    EXPECT_EQ(Settled(model, top, added), added);
    ASSERT_TRUE(QDir(root).rmdir(QStringLiteral("beta")));
    const QStringList removed{"alpha", "delta", "gamma"};
    EXPECT_EQ(Settled(model, top, removed), removed);
}

TEST_F(FolderTreeModelTest, ChangesReachASecondTreeAfterTheFirstIsGoneAndBelowTheRoot) {
    // Two trees share the program's one watcher: the first going must not stop the second
    // from seeing changes, in its root and in a folder below it.
    auto first =
        std::make_unique<FolderTreeModel>(std::vector<FolderRoot>{{root, QStringLiteral("one")}}, false);
    FolderTreeModel second({{root, QStringLiteral("two")}}, false);
    QAbstractItemModelTester tester(&second, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (FolderTreeModel* model : {first.get(), &second}) {
        const QModelIndex top = model->index(0, 0);
        if (model->canFetchMore(top))
            model->fetchMore(top);
        ASSERT_EQ(Settled(*model, top, {"alpha", "beta", "gamma"}), (QStringList{"alpha", "beta", "gamma"}));
    }
    const QModelIndex alpha = second.IndexOf(root + QStringLiteral("/alpha"));
    ASSERT_TRUE(alpha.isValid());
    if (second.canFetchMore(alpha))
        second.fetchMore(alpha);
    ASSERT_EQ(Settled(second, alpha, {"inner"}), QStringList{"inner"});
    first.reset();

    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("delta")));
    const QModelIndex top = second.index(0, 0);
    EXPECT_EQ(Settled(second, top, {"alpha", "beta", "delta", "gamma"}),
              (QStringList{"alpha", "beta", "delta", "gamma"}));
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("alpha/outer")));
    const QModelIndex alphaAgain = second.IndexOf(root + QStringLiteral("/alpha"));
    EXPECT_EQ(Settled(second, alphaAgain, {"inner", "outer"}), (QStringList{"inner", "outer"}));

    // A watched folder removed and made again is still followed.
    ASSERT_TRUE(QDir(root + QStringLiteral("/alpha")).removeRecursively());
    EXPECT_EQ(Settled(second, top, {"beta", "delta", "gamma"}), (QStringList{"beta", "delta", "gamma"}));
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("alpha/inner")));
    EXPECT_EQ(Settled(second, top, {"alpha", "beta", "delta", "gamma"}),
              (QStringList{"alpha", "beta", "delta", "gamma"}));
    const QModelIndex remade = second.IndexOf(root + QStringLiteral("/alpha"));
    ASSERT_TRUE(remade.isValid());
    if (second.canFetchMore(remade))
        second.fetchMore(remade);
    ASSERT_EQ(Settled(second, remade, {"inner"}), QStringList{"inner"});
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("alpha/late")));
    EXPECT_EQ(Settled(second, second.IndexOf(root + QStringLiteral("/alpha")), {"inner", "late"}),
              (QStringList{"inner", "late"}));
}

TEST_F(FolderTreeModelTest, IndexOfBuildsTheChainAndRefusesFoldersOutsideTheTree) {
    FolderTreeModel model({{root, QStringLiteral("top")}}, false);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    const QModelIndex inner = model.IndexOf(root + QStringLiteral("/alpha/inner/"));
    ASSERT_TRUE(inner.isValid());
    EXPECT_EQ(inner.data().toString(), QStringLiteral("inner"));
    EXPECT_EQ(model.FilePath(inner), root + QStringLiteral("/alpha/inner"));
    EXPECT_EQ(model.FilePath(inner.parent()), root + QStringLiteral("/alpha"));
    EXPECT_EQ(inner.parent().parent(), model.index(0, 0));

    EXPECT_EQ(model.IndexOf(root), model.index(0, 0));
    EXPECT_FALSE(model.IndexOf(root + QStringLiteral("/missing")).isValid());
    EXPECT_FALSE(model.IndexOf(QFileInfo(root).path()).isValid());     // above the root
    EXPECT_FALSE(model.IndexOf(root + QStringLiteral("x")).isValid()); // a sibling sharing the prefix
}

TEST_F(FolderTreeModelTest, ComputerItemHoldsTheRootsAndHasNoPath) {
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("vol/sub")));
    FolderTreeModel model(
        {{QStringLiteral("/"), QStringLiteral("/")}, {root + QStringLiteral("/vol"), QStringLiteral("Vol")}},
        true);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex computer = model.index(0, 0);
    EXPECT_TRUE(model.IsComputerItem(computer));
    EXPECT_TRUE(model.FilePath(computer).isEmpty());
    EXPECT_FALSE(computer.data().toString().isEmpty());
    EXPECT_EQ(Children(model, computer), (QStringList{"/", "Vol"}));

    // A folder below a volume belongs to that volume, not to "/".
    const QModelIndex sub = model.IndexOf(root + QStringLiteral("/vol/sub"));
    ASSERT_TRUE(sub.isValid());
    EXPECT_EQ(sub.parent(), model.index(1, 0, computer));
    const QModelIndex alpha = model.IndexOf(root + QStringLiteral("/alpha"));
    ASSERT_TRUE(alpha.isValid());
    QModelIndex top = alpha;
    while (top.parent() != computer)
        top = top.parent();
    EXPECT_EQ(top, model.index(0, 0, computer));
}

TEST(MountedRoots, SlashFirstThenRealFoldersOnce) {
    const std::vector<FolderRoot> roots = MountedRoots();
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(roots.front().path, QStringLiteral("/"));
    QStringList paths;
    for (const FolderRoot& r : roots) {
        EXPECT_TRUE(QFileInfo(r.path).isDir()) << r.path.toStdString();
        EXPECT_FALSE(r.name.isEmpty());
        for (const char* system : {"/proc", "/sys", "/dev"})
            EXPECT_FALSE(r.path.startsWith(QString::fromLatin1(system))) << r.path.toStdString();
        EXPECT_FALSE(paths.contains(r.path)) << r.path.toStdString();
        paths << r.path;
    }
}

} // namespace
