#include "framework/accessibility.h"

#include <oleacc.h>

#include <memory>
#include <new>

#include "framework/common_controls.h"
#include "support/format.h"
#include "support/system_library.h"

namespace fw {
namespace {

// oleacc is not a known DLL: it is bound from the system folder when first needed.
constexpr wchar_t accessibilityLibrary[] = L"oleacc.dll";
using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

LRESULT CALLBACK hookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                          DWORD_PTR data)
{
    const CommonControls& controls = commonControls();
    auto* hook = reinterpret_cast<MessageHook*>(data);
    auto next = [&] { return controls.defSubclassProc(window, message, wParam, lParam); };
    if (message == WM_NCDESTROY) {
        controls.removeWindowSubclass(window, &hookProc, id);
        delete hook;
        return controls.defSubclassProc(window, message, wParam, lParam);
    }
    try {
        return (*hook)(message, wParam, lParam, next);
    } catch (const std::exception&) {
        // A hook that fails leaves the message to the control.
        return next();
    }
}

// The system's accessible object of a control with another name and value.
class AnnotatedAccessible final : public IAccessible {
public:
    AnnotatedAccessible(IAccessible* system, const AccessibleText& text) : system_(system), text_(text) {}
    AnnotatedAccessible(const AnnotatedAccessible&) = delete;
    AnnotatedAccessible& operator=(const AnnotatedAccessible&) = delete;

    // IUnknown: the interfaces the system object has beside IAccessible come from it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return system_->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        return system_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override
    {
        return system_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override
    {
        return system_->GetIDsOfNames(riid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override
    {
        return system_->Invoke(id, riid, locale, flags, parameters, result, exception, argument);
    }

    // IAccessible: the name and the value of the control itself are ours.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (isSelf(child) && text_.name)
            return answer(text_.name, name);
        return system_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (isSelf(child) && text_.value)
            return answer(text_.value, value);
        return system_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        return system_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        return system_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return system_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        return system_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        return system_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        return system_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override
    {
        return system_->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return system_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override
    {
        return system_->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return system_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return system_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override
    {
        return system_->get_accDefaultAction(child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        return system_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override
    {
        return system_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return system_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        return system_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return system_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override
    {
        return system_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return system_->put_accValue(child, value);
    }

private:
    ~AnnotatedAccessible() { system_->Release(); }

    static bool isSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
    static HRESULT answer(const std::function<std::wstring()>& source, BSTR* text)
    {
        if (!text)
            return E_POINTER;
        *text = nullptr;
        std::wstring words;
        try {
            words = source();
        } catch (const std::exception&) {
            return E_FAIL;
        }
        if (words.empty())
            return S_FALSE;
        *text = SysAllocStringLen(words.data(), static_cast<UINT>(words.size()));
        return *text ? S_OK : E_OUTOFMEMORY;
    }

    IAccessible* system_;
    AccessibleText text_;
    LONG references_ = 1;
};

} // namespace

bool hookMessages(HWND window, MessageHook hook)
{
    const CommonControls& controls = commonControls();
    if (!window || !controls.setWindowSubclass || !controls.removeWindowSubclass || !controls.defSubclassProc)
        return false;
    auto owned = std::make_unique<MessageHook>(std::move(hook));
    // Each hook has its own id, so that several can wrap one window.
    UINT_PTR id = reinterpret_cast<UINT_PTR>(owned.get());
    if (!controls.setWindowSubclass(window, &hookProc, id, reinterpret_cast<DWORD_PTR>(owned.get())))
        return false;
    owned.release();
    return true;
}

bool leaveDialogKeysToDialog(HWND edit)
{
    return hookMessages(
        edit, [](UINT message, WPARAM, LPARAM, const std::function<LRESULT()>& next) -> LRESULT {
            LRESULT code = next();
            // Without "has set-selection" the dialog does not select the whole text
            // each time the Tab key arrives here.
            if (message == WM_GETDLGCODE)
                code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_HASSETSEL);
            return code;
        });
}

bool annotateAccessible(HWND control, AccessibleText text)
{
    auto create =
        ar::systemFunction<CreateStdAccessibleObjectFn>(accessibilityLibrary, "CreateStdAccessibleObject");
    auto toResult = ar::systemFunction<LresultFromObjectFn>(accessibilityLibrary, "LresultFromObject");
    if (!create || !toResult)
        return false;
    return hookMessages(
        control,
        [=](UINT message, WPARAM wParam, LPARAM lParam, const std::function<LRESULT()>& next) -> LRESULT {
            if (message != WM_GETOBJECT || static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT))
                return next();
            IAccessible* system = nullptr;
            if (FAILED(create(control, OBJID_CLIENT, __uuidof(IAccessible),
                              reinterpret_cast<void**>(&system))) ||
                !system)
                return next();
            auto* annotated = new (std::nothrow) AnnotatedAccessible(system, text);
            if (!annotated) {
                system->Release();
                return next();
            }
            LRESULT result = toResult(__uuidof(IAccessible), wParam, annotated);
            annotated->Release();
            return result;
        });
}

std::wstring labelOf(HWND control)
{
    HWND label = GetWindow(control, GW_HWNDPREV);
    wchar_t className[16] = {};
    if (!label || !GetClassNameW(label, className, 16) || lstrcmpiW(className, L"Static") != 0)
        return {};
    int length = GetWindowTextLengthW(label);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(label, text.data(), length + 1)));
    if (GetWindowLongPtrW(label, GWL_STYLE) & SS_NOPREFIX)
        return text;
    return ar::withoutAccessKey(text);
}

void announceNameChange(HWND window)
{
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}

} // namespace fw
