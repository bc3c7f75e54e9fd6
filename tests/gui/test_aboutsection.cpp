// SPDX-License-Identifier: GPL-3.0-or-later
// The settings' About rows: the version, the licence Tidewell is given under and the web dashboard, each leading
// where it says.

#include "ui/settings/aboutsection.h"
#include "ui/settings/settingsservices.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace tidewell;

class TestAboutSection : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void linksOpenTheirAddress_data();
    void linksOpenTheirAddress();
    void licenseIsNamed();

private:
    SettingsServices m_services;
    QList<QUrl> m_opened;
    std::unique_ptr<QWidget> m_window;
    AboutSection* m_section = nullptr;
};

void TestAboutSection::init()
{
    m_opened.clear();
    m_services = SettingsServices();
    m_services.serverURL = QUrl(u"https://push.example.com"_qs);
    m_services.openURL = [this](const QUrl& url) { m_opened.append(url); };
    m_services.shortVersion = u"1.2.0"_qs;
    m_services.buildVersion = u"abc1234"_qs;
    m_window = std::make_unique<QWidget>();
    m_section = new AboutSection(m_services, m_window.get());
}

void TestAboutSection::linksOpenTheirAddress_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QUrl>("address");
    QTest::newRow("licence") << u"licenseLink"_qs << QUrl(u"https://www.gnu.org/licenses/gpl-3.0.html"_qs);
    QTest::newRow("web dashboard") << u"webDashboardLink"_qs << QUrl(u"https://push.example.com"_qs);
}

void TestAboutSection::linksOpenTheirAddress()
{
    QFETCH(QString, button);
    QFETCH(QUrl, address);
    auto* link = m_section->findChild<QPushButton*>(button);
    QVERIFY(link);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(m_opened, QList<QUrl> { address });
}

void TestAboutSection::licenseIsNamed()
{
    auto* row = m_section->findChild<QWidget*>(u"licenseRow"_qs);
    QVERIFY(row);
    auto* label = row->findChild<QLabel*>(u"licenseLabel"_qs);
    auto* link = row->findChild<QPushButton*>(u"licenseLink"_qs);
    QVERIFY(label && link);
    QCOMPARE(label->text(), u"License"_qs);
    QCOMPARE(link->text(), u"GNU General Public License, version 3 or later"_qs);
    QVERIFY(link->font().underline());
}

QTEST_MAIN(TestAboutSection)
#include "test_aboutsection.moc"
