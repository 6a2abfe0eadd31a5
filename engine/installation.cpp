#include "engine/installation.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <optional>
#include <vector>

#include "engine/install_context.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "product/self_registration.h"
#include "engine/directx_setup.h"
#include "engine/disk_space.h"
#include "engine/files_in_use.h"
#include "log/file_placement.h"
#include "engine/private_folder.h"
#include "engine/shortcut.h"
#include "engine/uninstall_registration.h"
#include "log/log_trust.h"
#include "log/run_journal.h"
#include "payload/payload.h"
#include "payload/spill_file.h"
#include "resources/resource.h"
#include "support/format.h"
#include "support/elevated_files.h"
#include "support/handles.h"
#include "support/path_rules.h"
#include "support/shell_folders.h"

namespace ar {
namespace {

const std::wstring lineEnd = L"\r\n";

std::wstring quoteSpaces(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH + 2] = {};
    lstrcpynW(buffer, path.c_str(), MAX_PATH);
    PathQuoteSpacesW(buffer);
    return buffer;
}

// The SetupTemporary files of one run and the run's private folder.
struct TempFileList {
    std::wstring folder;
    std::vector<std::wstring> files;

    void clean()
    {
        for (const std::wstring& file : files) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        files.clear();
        RemoveDirectoryW(folder.c_str());
    }
};

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A data file is kept when it is there, but a folder in its place is no data file:
// the installation cannot provide the file and fails (and rolls back).
void refuseFolderInPlaceOf(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw std::system_error(ERROR_ALREADY_EXISTS, std::system_category(),
                                "a folder stands where a file must be installed");
}

// The folders a run writes in, each trusted as it resolves; below them nothing may
// be a link. A destination outside them is held to its own folder.
struct WriteRoots {
    std::vector<std::wstring> roots;

    std::wstring rootOf(const std::wstring& path) const
    {
        for (const std::wstring& root : roots)
            if (!root.empty() && isBelow(path, root))
                return root;
        return parentOf(path);
    }

    // Throws when the folder of `path` is reached through a link below its root.
    void checkFolderOf(const std::wstring& path) const
    {
        const std::wstring folder = parentOf(path);
        const std::wstring root = rootOf(path);
        if (samePlainPath(root, folder))
            return;
        unique_hfile held = openBelow(root, folder, NodeKind::Folder, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (!held)
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "a folder of the destination is a link");
    }
};

// Whether `folder` lies in one of the system's program folders, whose access list
// every folder below inherits.
bool inProgramFiles(const std::wstring& folder)
{
    for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86})
        if (std::wstring programs = shellFolder(csidl); !programs.empty() && isBelow(folder, programs))
            return true;
    wchar_t native[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"ProgramW6432", native, MAX_PATH);
    return length > 0 && length < MAX_PATH && isBelow(folder, native);
}

void addReadOnly(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
}

// The keys that recordProduct writes: the company's key (noted only: other
// products may share it), the product's record and the program's App Paths entry.
std::vector<RunJournal::KeyToSave> productRecordKeys(const std::wstring& programPath)
{
    const std::wstring record = productRecordKeyPath();
    return {{record.substr(0, record.find_last_of(L'\\')), false},
            {record, true},
            {appPathsKeyPath(programPath), true}};
}

class Run {
public:
    Run(InstallContext& context, InstallView& view)
        : context_(context), view_(view), recorder_(context.earlierLog, recordingRules())
    {
    }

    RunResult execute();
    // After an exception that the run did not expect: says so, undoes what the
    // journal holds and removes the private folder.
    RunResult abandon(const std::exception& error);

private:
    // The phases of a run, in order. A run that could not prepare changed nothing.
    std::optional<std::wstring> prepare();
    RunOutcome install();
    bool spaceSuffices(const std::vector<VolumeSpace>& spaces);
    std::future<bool> verifyInMemory(const std::vector<PayloadEntry>& entries);
    void spillVerifiedBlocks(const std::vector<PayloadEntry>& entries, const std::vector<VolumeSpace>& spaces);
    bool filesFree(const std::vector<PayloadEntry>& entries, const PayloadFolders& folders);
    bool extract(std::istream& archive, const PayloadFolders& folders, std::future<bool>& verification);
    void createShortcuts();
    void runDirectXSetup();
    bool registerProduct();
    void writeUninstallLog();

    // Ends a step's log line with its verdict.
    void ended(bool ok)
    {
        stepFailed_ = stepFailed_ || !ok;
        view_.appendLogLine(loadString(ok ? IDS_PHASE_OK : IDS_PHASE_FAILED) + lineEnd);
    }
    notification::result answer(const notification& n, std::istream& archive,
                                std::future<bool>& verification);
    notification::result fileBegin(const PayloadEntry& entry);
    void announce(const std::wstring& path);
    // The installed program's registration of itself: its verdict, or nothing when
    // the installer's lock could not be taken back after it.
    std::optional<bool> registerProgram();
    // Undoes what the journal holds and lists in the log what could not be undone.
    void rollBack();
    // Lets go of the private folder and removes it with the run's temporary files.
    void cleanUp();
    // What the run's records go to, and the folders it records as the product's.
    RecordingRules recordingRules();

    InstallContext& context_;
    InstallView& view_;
    InstalledPrograms programs_;
    std::wstring tempFolder_; // the run's private folder
    TempFileList temp_;
    PrivateFolder private_;
    RunJournal journal_;
    RunRecorder recorder_; // journals to journal_, once the run has prepared it
    WriteRoots roots_;
    PayloadDecoding decoding_; // the verification's blocks serve the extraction
    SpillFile spill_;          // those beyond its memory, in the private folder
    bool rollbackKeptBackups_ = false;
    bool stepFailed_ = false;
};

void Run::announce(const std::wstring& path)
{
    std::wstring text = formatString(IDS_COPYING_FILE, {quoteSpaces(path)});
    view_.setStatusPath(text);
    view_.appendLogLine(text);
}

notification::result Run::fileBegin(const PayloadEntry& entry)
{
    const std::wstring& path = entry.destination;
    const auto checked = [&](notification::result result) {
        roots_.checkFolderOf(path);
        return result;
    };
    const auto kind = static_cast<std::int32_t>(entry.kind);
    switch (entry.kind) {
    case FileKind::MainProgram:
        programs_.programPath = path;
        break;
    case FileKind::Uninstaller:
        programs_.uninstallerPath = path;
        break;
    case FileKind::EditableData:
        // The user's data is never overwritten: an earlier installation's file, or
        // one that is simply there, is kept.
        refuseFolderInPlaceOf(path);
        if (context_.installState != InstallState::None && context_.earlierLog.isKeptFile(path)) {
            roots_.checkFolderOf(path);
            grant_users_modify(path);
            return notification::result::skip;
        }
        if (exists(path)) {
            recorder_.recordFile(path, kind, true);
            recorder_.commit(true);
            roots_.checkFolderOf(path);
            grant_users_modify(path);
            return notification::result::skip;
        }
        recorder_.recordFile(path, kind, true);
        announce(path);
        return checked(notification::result::proceed);
    case FileKind::Texture:
        // An update keeps the earlier installation's textures; one that its log does
        // not list (the log was lost) is kept as the product's, and a missing one is
        // installed.
        if (context_.installState == InstallState::Update) {
            if (context_.earlierLog.isKeptFile(path))
                return notification::result::skip;
            if (exists(path)) {
                recorder_.recordFile(path, kind, true);
                recorder_.commit(true);
                return notification::result::skip;
            }
        }
        break;
    case FileKind::SetupTemporary:
        temp_.files.push_back(path);
        announce(path);
        return checked(notification::result::proceed);
    default:
        break;
    }
    recorder_.recordFile(path, kind, false);
    announce(path);
    return checked(notification::result::proceed);
}

notification::result Run::answer(const notification& n, std::istream& archive,
                                 std::future<bool>& verification)
{
    auto result = notification::result::proceed;
    if (n.get_if<notification::started>()) {
        view_.setStatus(loadString(IDS_PREPARING));
        view_.appendLogLine(loadString(IDS_PREPARING));
        if (!(verification.valid() ? verification.get() : verify_payload(archive, decoding_)))
            throw_compress_error(compress_errc::verification_failed);
        archive.clear();
        archive.seekg(0);
        ended(true);
    } else if (auto begin = n.get_if<notification::file_begin>()) {
        result = fileBegin(*begin->entry);
    } else if (auto end = n.get_if<notification::file_end>()) {
        if (end->entry->kind == FileKind::EditableData)
            grant_users_modify(end->entry->destination);
        if (end->entry->kind != FileKind::SetupTemporary)
            recorder_.commit(true);
        ended(true);
    } else if (auto progress = n.get_if<notification::progress>()) {
        view_.setProgress(progressPercent(progress->position, progress->total));
    } else if (auto failed = n.get_if<notification::failed>()) {
        recorder_.commit(false);
        ended(false);
        view_.setStatus(formatString(IDS_INSTALLATION_FAILED, {errorCodeText(failed->code)}));
        result = notification::result::abort;
    }
    view_.pump();
    return result;
}

void Run::createShortcuts()
{
    if (!context_.createMenuShortcut && !context_.createDesktopShortcut)
        return;
    bool ok = true;
    view_.setStatus(loadString(IDS_SHORTCUTS_CREATION));
    view_.appendLogLine(loadString(IDS_SHORTCUTS_CREATION));
    auto make = [&](int which, const std::wstring& target, const std::wstring& folder,
                    const std::wstring& name) {
        recorder_.recordShortcut(which, folder, folder.empty() ? std::wstring() : shortcutLinkPath(folder, name));
        std::wstring link;
        if (!folder.empty() && create_shortcut(target, folder, &name, &link)) {
            recorder_.commit(true, link);
        } else {
            ok = false;
            recorder_.commit(false);
        }
    };
    const std::wstring display = product::displayName();
    if (context_.createMenuShortcut) {
        make(0, programs_.programPath, context_.shortcutFolder, display);
        make(1, programs_.uninstallerPath, context_.shortcutFolder,
             formatString(IDS_UNINSTALL_NAME, {product::name}));
    }
    if (context_.createDesktopShortcut) {
        // Without a desktop folder the shortcut fails like any other.
        make(2, programs_.programPath,
             allUsersElseOwnFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY), display);
    }
    ended(ok);
}

void Run::runDirectXSetup()
{
    DirectXRuntimeSetup setup;
    setup.load(tempFolder_);
    if (!setup.loaded())
        return;
    if (context_.installState == InstallState::Same || !context_.earlierLog.succeeded(RecordKind::DirectXSetup)) {
        recorder_.recordDirectXSetup();
        std::wstring text = loadString(IDS_DIRECTX_UPDATE);
        view_.setStatus(text);
        view_.appendLogLine(text);
        bool ok = setup.run(view_.ownerWindow(), [this] { view_.pump(); });
        recorder_.commit(ok, text);
        ended(ok);
    }
    setup.release();
}

std::optional<bool> Run::registerProgram()
{
    recorder_.recordSelfRegistration(programs_.programPath);
    RegistrationResult result;
    bool locked = false;
    {
        // The installed program refuses to register while an installer holds the lock.
        LockGap gap(context_.instanceLock);
        result = runRegistration(programs_.programPath, Registration::Register, {}, INFINITE, HIGH_PRIORITY_CLASS);
        // Another installer that started meanwhile finds the run's journal in use
        // and ends: the lock is waited for a moment, not forever.
        locked = gap.takeBack(lockRetakeWait, [this] { view_.pump(); });
    }
    recorder_.commit(result.done);
    if (!locked)
        return std::nullopt;
    if (result.done) {
        view_.beginWait();
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
        view_.endWait();
    }
    return result.done;
}

RunResult Run::execute()
{
    view_.appendLogLine(L"", true);
    view_.beginWait();
    view_.setStatus(loadString(IDS_PREPARING));
    if (std::optional<std::wstring> error = prepare()) {
        const std::wstring text = formatString(IDS_INSTALLATION_FAILED, {*error});
        view_.setStatus(text);
        view_.appendLogLine(text + lineEnd);
        view_.endWait();
        return {RunOutcome::Failed, {}};
    }
    const RunOutcome outcome = install();
    cleanUp();
    return {outcome, programs_};
}

// The journal, the private folder beside it and where the run may write; the
// error code shown when one of them could not be had.
std::optional<std::wstring> Run::prepare()
{
    // The private folder lies in the protected set-up folder, beside the journal,
    // which names it before it is made.
    std::wstring error;
    if (!makeTempFolderPath(tempFolder_, error, journalFolder()))
        return error;
    // Without a durable journal a run that is ended from outside could not be undone.
    const RunScope scope{context_.installFolder,
                         context_.createMenuShortcut ? context_.shortcutFolder : std::wstring()};
    if (!journal_.start(tempFolder_, scope))
        return formatPrintf(L"%08x (%ls)", static_cast<unsigned>(GetLastError()), L"Journal");
    if (!private_.create(tempFolder_)) {
        const DWORD folderError = GetLastError();
        journal_.finish();
        return formatPrintf(L"%08x (%ls)", static_cast<unsigned>(folderError), L"CreateDirectory");
    }
    temp_.folder = tempFolder_;
    roots_.roots = {context_.installFolder, shellFolder(CSIDL_COMMON_APPDATA), shellFolder(CSIDL_APPDATA),
                    tempFolder_};
    return std::nullopt;
}

// From the payload's first byte to the uninstall log; the run is rolled back when
// the payload or the product's record cannot be put in place.
RunOutcome Run::install()
{
    const PayloadFolders folders = payloadFolders(context_.installFolder, tempFolder_);
    view_.setProgress(0);
    view_.showProgress(true);
    imemstream archive = open_payload_resource();
    std::vector<PayloadEntry> entries;
    try {
        entries = read_payload_entries(archive);
    } catch (const std::exception&) {
        // A header that cannot be read is the verification's to report.
    }
    archive.clear();
    archive.seekg(0);
    std::future<bool> verification = verifyInMemory(entries); // waited for on every way out
    std::vector<VolumeSpace> spaces;
    try {
        spaces = installationSpace(entries, folders, context_);
    } catch (const std::exception&) {
        // A destination that cannot be resolved is the extraction's to report.
    }
    if (!spaceSuffices(spaces))
        return RunOutcome::RefusedForSpace;
    if (!filesFree(entries, folders))
        return RunOutcome::RefusedForFilesInUse;
    if (!verification.valid())
        spillVerifiedBlocks(entries, spaces);
    if (!extract(archive, folders, verification))
        return RunOutcome::Failed;
    createShortcuts();
    runDirectXSetup();
    if (!registerProduct())
        return RunOutcome::Failed;
    writeUninstallLog();
    view_.setStatus(formatString(IDS_CLICK_CONTINUE, {loadString(IDS_NEXT)}));
    return stepFailed_ ? RunOutcome::InstalledWithFailures : RunOutcome::Installed;
}

bool Run::extract(std::istream& archive, const PayloadFolders& folders, std::future<bool>& verification)
{
    if (!extract_payload(
            archive, folders, [&](const notification& n) { return answer(n, archive, verification); },
            decoding_)) {
        rollBack();
        return false;
    }
    addReadOnly(programs_.programPath);
    addReadOnly(programs_.uninstallerPath);
    return true;
}

// The uninstall registration, the product's record and the program's registration
// of itself. False when the run was rolled back: the product's record could not be
// written, or the run could not go on holding the lock.
bool Run::registerProduct()
{
    view_.setStatus(loadString(IDS_REGISTRY_WRITING));
    view_.appendLogLine(loadString(IDS_REGISTRY_WRITING));
    const UninstallRegistration registration{programs_.programPath, programs_.uninstallerPath, currentLanguage(),
                                             context_.installFolder,
                                             installedSize(context_.earlierLog.records(), recorder_.records())};
    const bool registryOk = writeUninstallRegistration(registration, recorder_);

    journal_.saveKeys(productRecordKeys(programs_.programPath));
    if (LONG recordError = recordProduct(programs_.programPath); recordError != ERROR_SUCCESS) {
        rollBack();
        ended(false);
        view_.setStatus(formatString(IDS_INSTALLATION_FAILED, {formatPrintf(L"%d", int(recordError))}));
        return false;
    }
    if (std::optional<bool> registered = registerProgram()) {
        ended(registryOk && *registered);
        return true;
    }
    // Nothing more is done unlocked but undoing the run.
    const std::wstring failure = loadString(IDS_LOCK_NOT_TAKEN_BACK);
    ended(false);
    view_.appendLogLine(failure + lineEnd);
    rollBack();
    view_.setStatus(failure);
    return false;
}

void Run::writeUninstallLog()
{
    view_.setStatus(loadString(IDS_DATA_WRITING));
    view_.appendLogLine(loadString(IDS_DATA_WRITING));
    bool written = false;
    // The uninstaller trusts the log as written only with its digest on record; a
    // log that could not be written gets none.
    std::wstring digest;
    wchar_t logFile[MAX_PATH] = {};
    lstrcpynW(logFile, programs_.uninstallerPath.c_str(), MAX_PATH);
    if (PathRemoveFileSpecW(logFile) && PathAppendW(logFile, uninstallLogFileName))
        written = recorder_.writeLog(logFile, context_.installFolder, context_.shortcutFolder, &digest);
    const std::wstring menu = context_.createMenuShortcut ? context_.shortcutFolder : std::wstring();
    written = recordInstallationLog(digest, menu) == ERROR_SUCCESS && written;
    ended(written);
}

bool Run::spaceSuffices(const std::vector<VolumeSpace>& spaces)
{
    for (const VolumeSpace& space : spaces) {
        if (space.fits())
            continue;
        const std::wstring text = notEnoughSpaceText(space);
        view_.setStatus(text);
        view_.appendLogLine(text + lineEnd);
        return false;
    }
    return true;
}

// The archive's output: its files and, at most, its header.
std::uint64_t payloadOutput(const std::vector<PayloadEntry>& entries)
{
    std::uint64_t output = 1u << 20;
    for (const PayloadEntry& entry : entries)
        output += entry.size;
    return output;
}

// A payload that the verification's memory holds is verified while its
// destinations are checked (the verification writes nothing); none when it is
// larger, or no thread can be had: the extraction then verifies it first.
std::future<bool> Run::verifyInMemory(const std::vector<PayloadEntry>& entries)
{
    if (payloadOutput(entries) > decoding_.verifiedBlocks().capacity())
        return {};
    try {
        return std::async(std::launch::async, [this] {
            imemstream archive = open_payload_resource();
            return verify_payload(archive, decoding_);
        });
    } catch (const std::system_error&) {
        return {};
    }
}

// A payload larger than the verification's memory is decoded once: the blocks
// beyond it go to a file in the private folder, as far as its volume holds them
// beside what the installation needs there (else they are decoded again).
void Run::spillVerifiedBlocks(const std::vector<PayloadEntry>& entries, const std::vector<VolumeSpace>& spaces)
{
    constexpr std::uint64_t reserve = 64u << 20; // left free on the volume whatever happens
    const std::uint64_t output = payloadOutput(entries);
    const std::uint64_t inMemory = decoding_.verifiedBlocks().capacity();
    if (output <= inMemory)
        return;
    const std::wstring root = volumeOf(tempFolder_);
    std::uint64_t free = 0;
    auto own = std::find_if(spaces.begin(), spaces.end(),
                            [&](const VolumeSpace& space) { return _wcsicmp(space.volume.c_str(), root.c_str()) == 0; });
    ULARGE_INTEGER available{};
    if (own != spaces.end())
        free = own->available > own->needed ? own->available - own->needed : 0;
    else if (!root.empty() && GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr))
        free = available.QuadPart;
    const std::uint64_t budget = std::min(output - inMemory, free > reserve ? free - reserve : 0);
    if (budget > 0 && spill_.create(tempFolder_ + L"\\verified-blocks.spill"))
        decoding_.verifiedBlocks().spillTo(&spill_, budget);
}

// Every file the run replaces can be moved away: one that another program holds
// would fail the run half way. The user may close the program and retry; else
// nothing has been written.
bool Run::filesFree(const std::vector<PayloadEntry>& entries, const PayloadFolders& folders)
{
    std::vector<std::wstring> replaced;
    try {
        replaced = replacedFiles(entries, folders, context_);
    } catch (const std::exception&) {
        return true; // the extraction reports it
    }
    for (;;) {
        const std::vector<std::wstring> held = heldFiles(replaced);
        if (held.empty())
            return true;
        const std::vector<std::wstring> programs = programsHolding(held);
        for (const std::wstring& file : held)
            view_.appendLogLine(formatString(IDS_FILE_IN_USE, {file}) + lineEnd);
        for (const std::wstring& program : programs)
            view_.appendLogLine(formatString(IDS_FILES_IN_USE_PROGRAMS, {program}) + lineEnd);
        if (!view_.askRetry(filesInUseText(held, programs))) {
            view_.setStatus(loadString(IDS_FILES_IN_USE_UNCHANGED));
            return false;
        }
    }
}

void Run::rollBack()
{
    // The product's record was written after every record of the journal.
    for (const std::wstring& kept : journal_.undoKeys()) {
        rollbackKeptBackups_ = true;
        view_.appendLogLine(formatString(IDS_ROLLBACK_KEPT, {productRecordKeyPath(), kept}) + lineEnd);
    }
    for (const RollbackFailure& failure : recorder_.rollback()) {
        // An earlier content that only its backup holds keeps the journal: the next
        // start of the installer tries again to put it back.
        rollbackKeptBackups_ = rollbackKeptBackups_ || !failure.keptAs.empty();
        view_.appendLogLine((failure.keptAs.empty()
                                 ? formatString(IDS_ROLLBACK_LEFT, {failure.path})
                                 : formatString(IDS_ROLLBACK_KEPT, {failure.path, failure.keptAs})) +
                            lineEnd);
    }
}

void Run::cleanUp()
{
    decoding_.verifiedBlocks().spillTo(nullptr, 0);
    spill_.close();
    private_.close();
    temp_.clean();
    // The run has ended, installed or rolled back: its journal and backups go last.
    if (rollbackKeptBackups_)
        journal_.leave();
    else
        for (const std::wstring& left : journal_.finish())
            view_.appendLogLine(L"Not removed (the next start removes it): " + left + lineEnd);
    view_.endWait();
}

} // namespace

int progressPercent(unsigned long long position, unsigned long long total)
{
    if (total == 0)
        return 100;
    double percent = std::floor(static_cast<double>(position) / static_cast<double>(total) * 100.0 + 0.5);
    if (percent >= 100.0 && position < total)
        return 99;
    return static_cast<int>(percent);
}

std::wstring errorCodeText(const std::error_code& code)
{
    if (code.category() == std::system_category())
        return formatPrintf(L"1:%08X", static_cast<unsigned>(code.value()));
    if (code.category() == std::generic_category())
        return formatPrintf(L"2:%08X", static_cast<unsigned>(code.value()));
    if (code.category() == compress_category())
        return formatPrintf(L"%d", code.value());
    return L"7";
}

PayloadFolders payloadFolders(const std::wstring& installFolder, const std::wstring& tempFolder)
{
    return {installFolder, formatString(IDS_EXAMPLES_FOLDER, {product::name}), tempFolder};
}

RecordingRules Run::recordingRules()
{
    RecordingRules rules;
    rules.journal = &journal_;
    // Shared data folders, and an installation folder that the system's program
    // folders do not protect, get a list that only administrators can change, so
    // that nobody else can replace the programs that run elevated later.
    rules.newFolderAccess = [commonData = shellFolder(CSIDL_COMMON_APPDATA), install = context_.installFolder,
                             outside = !inProgramFiles(context_.installFolder)](const std::wstring& folder) {
        const bool own = isBelow(folder, commonData) || (outside && samePlainPath(folder, install));
        return own ? adminsWriteUsersReadSddl : nullptr;
    };
    // Without an earlier log that says which folders are the product's, the
    // product's existing folders are recorded as if this run had made them, so that
    // uninstalling later removes them too.
    if (context_.installState != InstallState::None && context_.earlierLog.records().empty()) {
        rules.productFolder = [data = companyDataFolders(), install = context_.installFolder,
                               menu = context_.createMenuShortcut ? context_.shortcutFolder : std::wstring()](
                                  const std::wstring& folder) { return isProductFolder(folder, data, install, menu); };
    }
    return rules;
}

RunResult Run::abandon(const std::exception& error)
{
    std::wstring text = formatString(IDS_INSTALLATION_FAILED, {L"7"});
    view_.appendLogLine(lineEnd + text + L" " + fromUtf8(error.what()) + lineEnd);
    view_.setStatus(text);
    rollBack();
    cleanUp();
    return {RunOutcome::Failed, programs_};
}

RunResult runInstallation(InstallContext& context, InstallView& view)
{
    // The one barrier of the run: whatever escapes it is a failed, rolled-back run.
    Run run(context, view);
    try {
        return run.execute();
    } catch (const std::exception& error) {
        return run.abandon(error);
    } catch (...) {
        return run.abandon(std::runtime_error("unknown exception"));
    }
}

} // namespace ar
