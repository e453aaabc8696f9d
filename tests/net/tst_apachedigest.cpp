// The HTTP client against a Digest server nobody here wrote: Debian's Apache
// with mod_auth_digest, on 127.0.0.1 at a port the test picks, with a realm
// holding a byte above 0x7F as a device's web server may send it.
#include "net/tidhttp.h"
#include "peers.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {
const char *const apache = "/usr/sbin/apache2";
const char *const modules = "/usr/lib/apache2/modules";
const QByteArray realm("Ger\xe4t");
} // namespace

class TestApacheDigest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QProcess server;
    quint16 port = 0;

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/rest/json").arg(port); }

private slots:
    void initTestCase() {
        if (!QFile::exists(apache))
            QSKIP("Apache (apache2-bin) is not installed; scripts/setup installs it");
        QVERIFY(dir.isValid());
        // Apache's workers run as "nobody" when started by root: they must
        // reach the files.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        const QByteArray root = QFile::encodeName(dir.path());
        port = freeTcpPort();
        QByteArray conf = "ServerRoot " + root + "\nListen 127.0.0.1:" + QByteArray::number(port) + "\n";
        for (const char *m :
             {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_digest"})
            conf += QByteArray("LoadModule ") + m + "_module " + modules + "/mod_" + m + ".so\n";
        conf += "PidFile " + root + "/httpd.pid\nErrorLog " + root + "/error.log\nDefaultRuntimeDir " + root +
                "\nMutex file:" + root +
                " default\nUser nobody\nGroup nogroup\nServerName 127.0.0.1\n"
                "DocumentRoot " +
                root +
                "/docs\n"
                "<Location \"/rest\">\n AuthType Digest\n AuthName \"" +
                realm +
                "\"\n AuthDigestDomain /rest/\n"
                " AuthUserFile " +
                root + "/digest\n Require valid-user\n</Location>\n";
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            f.setPermissions(f.permissions() | QFileDevice::ReadOther);
        };
        write("httpd.conf", conf);
        // htdigest's line: user:realm:MD5(user:realm:password), over the bytes.
        write("digest",
              "admin:" + realm + ':' +
                  QCryptographicHash::hash("admin:" + realm + ":secret", QCryptographicHash::Md5).toHex() +
                  "\n");
        QVERIFY(QDir(dir.path()).mkpath("docs/rest"));
        ::chmod(QFile::encodeName(dir.filePath("docs")).constData(), 0755);
        ::chmod(QFile::encodeName(dir.filePath("docs/rest")).constData(), 0755);
        write("docs/rest/json", "{\"iostate\":1}\n");

        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(apache, {"-f", dir.filePath("httpd.conf"), "-DFOREGROUND"});
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(100);
            }(),
            10000);
    }

    void rightPassword() {
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = "secret";
        http.Get(url());
        QCOMPARE(http.ResponseCode, 401);
        QCOMPARE(http.Get(url()), QString("{\"iostate\":1}\n"));
        QCOMPARE(http.ResponseCode, 200);
        // The same challenge goes on answering, with the next nonce count.
        QCOMPARE(http.Get(url()), QString("{\"iostate\":1}\n"));
    }

    void wrongPassword() {
        TIdHTTP http;
        http.UserName = "admin";
        http.Password = "wrong";
        http.Get(url());
        QCOMPARE(http.ResponseCode, 401);
        try {
            http.Get(url());
            QFAIL("no error");
        } catch (const EHttpError &e) {
            QCOMPARE(e.kind() + " : " + e.message(),
                     QString("EHttpProtocolError : HTTP/1.1 401 Unauthorized"));
        }
    }

    void cleanupTestCase() {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000))
                server.kill();
        }
    }
};

QTEST_GUILESS_MAIN(TestApacheDigest)
#include "tst_apachedigest.moc"
