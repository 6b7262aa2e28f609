#include "minicad/com/comhost.h"

#include "protocol/win32/comdispatch.h"
#include "minicad/automation/application.h"
#include "minicad/com/classid.h"
#include "minicad/com/hostfilter.h"
#include "minicad/com/testingobject.h"

#include <oleauto.h>

namespace minicad::com {

namespace {

CLSID toClsid(const QUuid &id)
{
    CLSID c;
    c.Data1 = id.data1;
    c.Data2 = id.data2;
    c.Data3 = id.data3;
    for (int i = 0; i < 8; ++i)
        c.Data4[i] = id.data4[i];
    return c;
}

bool setDefaultValue(HKEY root, const std::wstring &key, const std::wstring &value, const wchar_t *name = nullptr)
{
    HKEY h = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                   DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

// ProgID -> CLSID and CLSID -> ProgID under one root.
bool registerUnder(HKEY root, const QString &progId, const QString &clsid, const QString &description)
{
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring p = progId.toStdWString(), c = clsid.toStdWString(), d = description.toStdWString();
    return setDefaultValue(root, classes + p, d) && setDefaultValue(root, classes + p + L"\\CLSID", c)
           && setDefaultValue(root, classes + L"CLSID\\" + c, d)
           && setDefaultValue(root, classes + L"CLSID\\" + c + L"\\ProgID", p);
}

// HKLM where the user may write it (Wine reads ProgIDs only from there);
// otherwise the user's own classes, which Windows merges in.
bool registerProgId(const QString &progId, const QString &clsid, const QString &description)
{
    return registerUnder(HKEY_LOCAL_MACHINE, progId, clsid, description)
           || registerUnder(HKEY_CURRENT_USER, progId, clsid, description);
}

QString hresultText(HRESULT hr)
{
    return QString::fromStdWString(cad::win32::ComError::systemText(hr));
}

} // namespace

ComHost::ComHost(std::shared_ptr<Session> session)
    : m_session(std::move(session)), m_objects([s = m_session.get()] { return s->pickPending(); })
{
    // Without a window nobody but a queued answer ends a pick: it waits for one.
    m_session->setWaitForPick(true);
}

ComHost::~ComHost()
{
    stop();
}

bool ComHost::start(const QString &progId, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_application)
        return fail(QStringLiteral("already serving"));
    if (const QString problem = progIdProblem(progId); !problem.isEmpty())
        return fail(problem);

    const QString testing = testingProgId(progId);
    const QUuid appId = classIdForProgId(progId), testingId = classIdForProgId(testing);
    const QString appText = appId.toString(QUuid::WithBraces).toUpper();
    const QString testingText = testingId.toString(QUuid::WithBraces).toUpper();
    const CLSID appClsid = toClsid(appId), testingClsid = toClsid(testingId);

    // Another process serving the class already: refuse, as a second owner
    // of a bus name is refused.
    IUnknown *running = nullptr;
    if (SUCCEEDED(GetActiveObject(appClsid, nullptr, &running)) && running) {
        running->Release();
        return fail(QStringLiteral("\"%1\" is already served by another process").arg(progId));
    }
    if (!registerProgId(progId, appText, QStringLiteral("minicad drawing (%1)").arg(progId))
        || !registerProgId(testing, testingText, QStringLiteral("minicad testing (%1)").arg(progId)))
        return fail(QStringLiteral("cannot register \"%1\" under Software\\Classes").arg(progId));

    m_application = m_objects.addRoot(makeApplication(m_session), false);
    m_testing = m_objects.addRoot(std::make_shared<TestingObject>(m_session, m_objects), true);

    m_filter = new HostMessageFilter([s = m_session.get()] { return s->pickPending(); },
                                     [this](IUnknown *u) { return m_objects.servedWhileBusy(u); });
    CoRegisterMessageFilter(m_filter, &m_previousFilter);

    HRESULT hr = RegisterActiveObject(m_application, appClsid, ACTIVEOBJECT_STRONG, &m_applicationCookie);
    if (SUCCEEDED(hr))
        hr = RegisterActiveObject(m_testing, testingClsid, ACTIVEOBJECT_STRONG, &m_testingCookie);
    if (FAILED(hr)) {
        stop();
        return fail(QStringLiteral("RegisterActiveObject failed: %1").arg(hresultText(hr)));
    }
    m_classId = appText;
    return true;
}

void ComHost::stop()
{
    if (m_testingCookie)
        RevokeActiveObject(m_testingCookie, nullptr);
    if (m_applicationCookie)
        RevokeActiveObject(m_applicationCookie, nullptr);
    m_testingCookie = m_applicationCookie = 0;
    // A pick that waits ends: its caller is told it was cancelled.
    if (m_session->pickPending())
        m_session->cancelPick();
    m_objects.disconnectAll();
    for (ComObject **root : {&m_application, &m_testing}) {
        if (*root)
            (*root)->Release();
        *root = nullptr;
    }
    if (m_filter) {
        CoRegisterMessageFilter(m_previousFilter, nullptr);
        if (m_previousFilter)
            m_previousFilter->Release();
        m_previousFilter = nullptr;
        m_filter->Release();
        m_filter = nullptr;
    }
    m_classId.clear();
}

} // namespace minicad::com
