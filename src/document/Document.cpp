// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/Document.h"

#include <algorithm>
#include <exception>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include "codec/Optimize.h"
#include "codec/SafeFile.h"
#include "codec/Unoptimize.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"

namespace vorlane {

namespace {

const QString HelpHint = QStringLiteral("To get help, press F1");
const QString FileMissing = QStringLiteral("File does not exist");
const QString InvalidFormat = QStringLiteral("Invalid file format.");
const QString NothingToSave = QStringLiteral("The animation has no images to save.");
const QString NoLoopNotice = QStringLiteral(
    "The file has no loop setting, so browsers play it once. Saved from here, it will repeat "
    "indefinitely: choose \"Stop after\" in the Loop section to limit it.");
const QString RevertQuestion =
    QStringLiteral("Do you want to recover the last saved version of this file? Be careful, "
                   "this will definetly revert all unsaved changes.");

const QString GifFilter =
    QStringLiteral("GIF image (*.gif)|*.gif|Vorlane Gif Format (*.vlgf)|*.vlgf");
const QString SaveFilter =
    QStringLiteral("GIF image (*.gif)|*.gif|Vorlane Gif format (*.vlgf)|*.vlgf");
const QString OptimizedFilter = QStringLiteral("Gif image (*.gif)|*.gif");
const QString BitmapFilter = QStringLiteral("Bitmap image (*.bmp)|*.bmp");

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString saveFailedText(const QString& fileName, const QString& reason) {
    return QStringLiteral("The file ") + quoted(QDir::toNativeSeparators(fileName)) +
           QStringLiteral(" could not be saved.\n") + reason;
}

// Names from dialogs and the command line may be relative; the path and the recent list
// keep full names so that they still name the file from another working folder.
QString fullName(const QString& fileName) {
    return QFileInfo(fileName).absoluteFilePath();
}

QString fileNamePart(const QString& fileName) {
    return QFileInfo(fileName).fileName();
}

// Comment records hold bytes; GIF asks for 7-bit ASCII, files in the wild carry UTF-8 or
// a Latin-1 code page. Valid UTF-8 is read as such, anything else as Latin-1, which
// accepts every byte.
QString decodeComment(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (utf8.hasError()) return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return text;
}

std::string encodeComment(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Lines of a text: breaks are CR LF, CR, LF or a paragraph separator; a break at the very
// end starts no further line.
QStringList linesOf(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n|\u2029"));
    QStringList lines = text.split(breaks);
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

QString normalizedComment(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QChar(0x2029), QLatin1Char('\n'));
    return t;
}

QString recentName(int i) {
    return QStringLiteral("F%1").arg(i);
}

} // namespace

Document::Document(const Platform& platform, QObject* parent)
    : QObject(parent), m_platform(platform) {}

Document::~Document() = default;

// ---- the document image ----------------------------------------------------------------

void Document::installHandlers(gif::GifImage& image) {
    image.onProgress = [this](gif::Stage stage, int percent, gif::ProgressMessage message) {
        gifProgress(stage, percent, message);
    };
}

void Document::setImage(std::unique_ptr<gif::GifImage> image) {
    m_image = std::move(image);
    if (m_image) {
        installHandlers(*m_image);
        m_image->onAnimationSwitch = [this](bool on) { Q_EMIT animationSwitched(on); };
    }
    Q_EMIT imageChanged();
}

int Document::frameCount() const {
    return m_image ? int(m_image->frameCount()) : 0;
}

// ---- names and flags -------------------------------------------------------------------

QString Document::title() const {
    return m_name + QStringLiteral(" - ") + AppTitle;
}

void Document::setTitleName(const QString& name) {
    m_name = name;
    Q_EMIT titleChanged(title());
}

void Document::setModified(bool modified) {
    if (m_modified == modified) return;
    m_modified = modified;
    Q_EMIT modifiedChanged(modified);
}

// ---- frame list ------------------------------------------------------------------------

void Document::selectFrame(int k) {
    // Like a list, selecting an entry that does not exist selects nothing new.
    if (k < -1 || k >= entryCount() || k == m_current) return;
    m_current = k;
    // The selection routine shows the frame view.
    if (k >= 0) setView(View::Frame);
    Q_EMIT currentFrameChanged(k);
}

void Document::reselectCurrentFrame() {
    if (m_current < 0) return;
    setView(View::Frame);
    Q_EMIT currentFrameChanged(m_current);
}

QString Document::NextIndex(int entries) {
    const int k = entries + 1;
    if (k < 10) return QStringLiteral("00") + QString::number(k);
    if (k < 100) return QStringLiteral("0") + QString::number(k);
    return QString::number(k);
}

// ---- views and side panel fields -------------------------------------------------------

void Document::setView(View view) {
    if (m_view == view) return;
    m_view = view;
    Q_EMIT viewChanged(view);
}

void Document::setFields(const Fields& fields) {
    if (m_fields == fields) return;
    m_fields = fields;
    Q_EMIT fieldsChanged(fields);
}

// ---- model operations ------------------------------------------------------------------

void Document::ren() {
    m_labels.clear();
    const int n = frameCount();
    m_labels.reserve(n);
    for (int i = 0; i < n; ++i)
        m_labels << QLatin1Char('#') + NextIndex(int(m_labels.size())) + QStringLiteral(": ") +
                        m_name;
    m_current = -1;
    CheckNil();
    Q_EMIT framesRebuilt();
    Q_EMIT refreshRequested();
}

int Document::getdelay(const QString& selector, int frame) {
    if (selector != QLatin1String("1") || frame < 0 || frame >= frameCount()) return 0;
    gif::Frame& f = m_image->frame(size_t(frame));
    if (!f.graphicControlRecord) f.extensions.push_back(m_image->newGraphicControl(size_t(frame)));
    return f.graphicControl()->delay;
}

void Document::creategces() {
    for (int i = 0; i < frameCount(); ++i) {
        gif::Frame& f = m_image->frame(size_t(i));
        if (!f.graphicControlRecord) f.extensions.push_back(m_image->newGraphicControl(size_t(i)));
    }
}

void Document::changed() {
    setModified(true);
    Q_EMIT refreshRequested();
}

void Document::CheckNil() {
    const bool any = entryCount() > 0;
    setFields({any, any && !m_loopInfinite, any, any});
}

// ---- loop ------------------------------------------------------------------------------

gif::Extension* Document::loopext() {
    if (frameCount() == 0) return nullptr;
    gif::ExtensionList& records = m_image->frame(0).extensions;
    // Programs that write XMP or their own application records often put them before
    // the loop record; any loop record of the first frame is the document's, and the
    // other records stay where they are. Without one, a new record goes first, where
    // readers that look only at the first record expect it.
    for (const gif::ExtensionPtr& record : records)
        if (record->isLoop()) return record.get();
    records.insert(records.begin(), gif::Extension::makeLoop(0));
    return records.front().get();
}

void Document::loopdoopened() {
    const gif::Extension* loop = loopext();
    // A file without images keeps its records after the last image.
    if (!loop && m_image)
        for (const gif::ExtensionPtr& record : m_image->trailingExtensions)
            if (record->isLoop()) {
                loop = record.get();
                break;
            }
    const int count = loop ? loop->loopCount().value_or(0) : 0;
    if (count == 0) {
        if (!m_loopInfinite) infiniClick();
        Fields f = m_fields;
        f.numLoops = false;
        setFields(f);
        return;
    }
    if (m_loopInfinite) finiClick();
    Fields f = m_fields;
    f.numLoops = true;
    setFields(f);
    if (m_numLoops != count) NumLoopsChange(count);
}

void Document::makeloopongif() {
    if (entryCount() == 0) return;
    const int count = m_loopInfinite ? 0 : m_numLoops;
    if (gif::Extension* loop = loopext()) loop->setLoopCount(uint16_t(count));
    setModified(true);
}

void Document::infiniClick() { chooseLoop(true); }

void Document::finiClick() { chooseLoop(false); }

void Document::chooseLoop(bool infinite) {
    m_loopInfinite = infinite;
    Q_EMIT loopChoiceChanged();
    Fields f = m_fields;
    f.numLoops = !infinite;
    setFields(f);
    writeLoopChoice();
    if (m_image) m_image->setAnimate(false);
}

void Document::NumLoopsChange(int value) {
    // The count field of the record holds 16 bits; the field's range is 1..65535 so that
    // what the user sees is what the file says (65536 would silently become "repeat
    // indefinitely").
    m_numLoops = qBound(1, value, 0xFFFF);
    Q_EMIT loopChoiceChanged();
    writeLoopChoice();
}

// ---- comment ---------------------------------------------------------------------------

bool Document::thereiscommentext() const {
    if (frameCount() == 0) return false;
    for (const auto& record : m_image->frame(0).extensions)
        if (record->isComment()) return true;
    return false;
}

int Document::comextindex() {
    if (frameCount() == 0) return -1;
    gif::ExtensionList& records = m_image->frame(0).extensions;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i]->isComment()) return int(i);
    records.push_back(gif::Extension::makeComment());
    return int(records.size() - 1);
}

QString Document::frame0CommentText() const {
    QStringList lines;
    if (!m_image) return {};
    // A file without images keeps its comments after the last image.
    const gif::ExtensionList& records =
        frameCount() > 0 ? m_image->frame(0).extensions : m_image->trailingExtensions;
    for (const auto& record : records)
        if (record->isComment()) lines << linesOf(decodeComment(record->text()));
    return lines.join(QLatin1Char('\n'));
}

void Document::addcommenttogif() {
    if (frameCount() == 0) return;
    const QString text = normalizedComment(m_comment);
    // The box shows all comment records of frame 0 one after the other. When its text is
    // still what they hold, they stay as read, byte for byte.
    if (text == frame0CommentText()) return;
    gif::ExtensionList& records = m_image->frame(0).extensions;
    if (text.isEmpty()) {
        // A comment record without text has no data sub-block, and common readers
        // (giflib among them) reject such a file; an empty comment is no record.
        std::erase_if(records, [](const gif::ExtensionPtr& r) { return r->isComment(); });
        return;
    }
    // The whole text goes into the first record and the later ones are dropped: their
    // lines are part of that text, and keeping them would show them twice at the next
    // opening.
    const int index = comextindex();
    records[size_t(index)]->setText(encodeComment(text));
    for (size_t i = records.size(); i-- > size_t(index) + 1;)
        if (records[i]->isComment()) records.erase(records.begin() + ptrdiff_t(i));
}

void Document::commentdoopened() {
    m_commentArmed = true;
    m_comment = frame0CommentText();
    Q_EMIT commentTextChanged(m_comment);
}

void Document::GifcommentChange(const QString& text) {
    // The box echoes the texts the document puts into it; those are no edits.
    if (text == m_comment) return;
    m_comment = text;
    // The comment is part of the animation as soon as there are frames to carry it; a
    // new animation's comment must count as an edit as well as an opened file's.
    if (m_commentArmed || frameCount() > 0) setModified(true);
}

// ---- recent files ----------------------------------------------------------------------

QStringList Document::recentFiles() const {
    QStringList files;
    for (int i = 1; i <= 4; ++i)
        files << m_platform.settings->readString(RecentKey, recentName(i));
    return files;
}

void Document::updateRecent(const QString& fileName) {
    // Read now rather than at the start of the command: a Save run by the command's
    // question may have moved another file to the front meanwhile.
    const QStringList old = recentFiles();
    int match = 4; // F1..F4 as 0..3; 4: not in the list
    for (int i = 0; i < 4; ++i)
        if (old[i] == fileName) {
            match = i;
            break;
        }
    if (match == 0) return;
    QStringList now = old;
    // The entries before the match (all of them for a new name, the last one dropped)
    // move one place down.
    for (int i = qMin(match, 3); i >= 1; --i)
        now[i] = old[i - 1];
    now[0] = fileName;
    for (int i = 0; i < 4; ++i)
        if (now[i] != old[i])
            m_platform.settings->writeString(RecentKey, recentName(i + 1), now[i]);
    m_platform.settings->sync();
    Q_EMIT recentFilesChanged();
}

// ---- opening ---------------------------------------------------------------------------

void Document::FileOpen1Execute(OpenOrigin origin, const QString& fileName) {
    const QStringList recent = recentFiles();

    QString name;
    switch (origin) {
    case OpenOrigin::Dialog: {
        const auto chosen =
            m_platform.dialogs->openPicture({QString(), GifFilter, m_openDialogFile});
        if (!chosen) return;
        name = *chosen;
        break;
    }
    case OpenOrigin::Recent1:
        name = recent[0];
        break;
    case OpenOrigin::Recent2:
        name = recent[1];
        break;
    case OpenOrigin::Recent3:
        name = recent[2];
        break;
    case OpenOrigin::Recent4:
        name = recent[3];
        break;
    case OpenOrigin::CommandLine:
        name = fileName;
        break;
    case OpenOrigin::Revert:
        name = m_path;
        break;
    }

    if (name.isEmpty() || !QFileInfo(name).isFile()) {
        m_platform.prompts->tell(Prompts::Icon::Warning, FileMissing);
        return;
    }
    name = fullName(name);
    m_openDialogFile = name;

    if (origin != OpenOrigin::Revert && m_modified) {
        const auto answer = m_platform.prompts->ask(
            Prompts::Icon::Warning, Prompts::Buttons::YesNoCancel,
            QStringLiteral("Do you want to save changes made to ") + quoted(m_name) +
                QStringLiteral("\nbefore opening selected file?"));
        if (answer == Prompts::Answer::Cancel) return;
        // A save that failed must not be followed by discarding the document; a save
        // dialog cancelled by the user goes on, as answering No would.
        if (answer == Prompts::Answer::Yes && FileSave1Execute() == SaveResult::Failed) return;
    }

    m_path = name;
    m_pathFailed = false;
    m_labels.clear();
    m_current = -1;

    qint64 t0 = 0;
    qint64 t1 = 0;
    QStringList notices;
    bool empty = false;
    try {
        t0 = m_platform.clock->nowMs();
        setView(View::None);
        // The file is read once; its frames' composed pictures come from the codec's
        // compositor inside unoptimize.
        gif::GifImage loaded;
        installHandlers(loaded);
        loaded.onWarning = [&notices](const std::string& warning) {
            const QString text = QString::fromStdString(warning);
            if (!notices.contains(text)) notices << text;
        };
        loaded.load(name);
        t1 = m_platform.clock->nowMs();
        // Browsers play a file without a loop record once; saved from here it will
        // repeat indefinitely. That rule stays, but the user is told.
        if (loaded.frameCount() > 0 &&
            std::none_of(loaded.frame(0).extensions.begin(), loaded.frame(0).extensions.end(),
                         [](const gif::ExtensionPtr& r) { return r->isLoop(); }))
            notices.prepend(NoLoopNotice);
        setImage(std::make_unique<gif::GifImage>(gif::unoptimize(loaded)));
        stop();
        empty = frameCount() == 0;
        setView(empty ? View::Frame : View::Animation);
        creategces();
        loopdoopened();
        commentdoopened();
        // A file without images keeps its loop and comment records after its last (no)
        // image; the side panel holds them now, and the first frame added takes them
        // over, so they must not be written a second time at the end of the file.
        if (empty)
            std::erase_if(m_image->trailingExtensions, [](const gif::ExtensionPtr& r) {
                return r->isLoop() || r->isComment();
            });
    } catch (const std::exception&) {
        // Not a readable GIF, or frame 0 starts with a foreign application record. The
        // path keeps the failed file; Save never writes over it (m_pathFailed).
        m_pathFailed = true;
        setImage(nullptr);
        setView(View::None);
        CheckNil();
        setProgress(-1);
        setStatusHint(HelpHint);
        m_platform.prompts->tell(Prompts::Icon::Warning, InvalidFormat);
        return;
    }
    m_hasFile = true;

    m_loadingTime = loadingTimeText(t1 - t0);
    Q_EMIT loadingTimeChanged(m_loadingTime);
    m_name = fileNamePart(name);
    if (empty) {
        // A file without images opens as an empty animation does after New: nothing to
        // play or remove, pictures can be added; its loop choice and comment are shown.
        setView(View::Frame);
        ren();
        Q_EMIT actionWord(QStringLiteral("alsup"));
    } else {
        setView(View::Animation);
        ren();
        selectFrame(0);
        Q_EMIT fileOpened();
        Q_EMIT refreshRequested();
        Q_EMIT actionWord(QStringLiteral("opened"));
    }
    Q_EMIT titleChanged(title());
    updateRecent(name);
    setModified(false);
    Q_EMIT fileNotices(notices);
}

// ---- progress and status ---------------------------------------------------------------

void Document::setProgress(int percent) {
    if (m_progress == percent) return;
    m_progress = percent;
    Q_EMIT progressChanged(percent);
}

void Document::setStatusHint(const QString& text) {
    if (m_statusHint == text) return;
    m_statusHint = text;
    Q_EMIT statusHintChanged(text);
}

void Document::gifProgress(gif::Stage stage, int percent, gif::ProgressMessage message) {
    if (stage == gif::Stage::Ending) {
        setProgress(-1);
        setStatusHint(HelpHint);
        return;
    }
    switch (message) {
    case gif::ProgressMessage::Loading:
        setStatusHint(QStringLiteral("Loading..."));
        break;
    case gif::ProgressMessage::Converting:
        setStatusHint(QStringLiteral("Converting..."));
        break;
    case gif::ProgressMessage::Rendering:
        setStatusHint(QStringLiteral("Preparing..."));
        break;
    case gif::ProgressMessage::Copying:
        setStatusHint(QStringLiteral("Copy in progress..."));
        break;
    case gif::ProgressMessage::Saving:
        setStatusHint(QStringLiteral("Saving image..."));
        break;
    case gif::ProgressMessage::Optimizing:
        setStatusHint(QStringLiteral("Optimizing..."));
        break;
    }
    setProgress(qBound(0, percent, 100));
}

QString Document::framesStatusText() const {
    if (!m_image) return QStringLiteral("Aucune image");
    return QString::number(entryCount()) + QStringLiteral(" image(s)");
}

QString Document::sizeStatusText() const {
    if (!m_image) return {};
    return QStringLiteral("Animation %1x%2").arg(m_image->screenWidth).arg(m_image->screenHeight);
}

QString Document::loadingTimeText(qint64 elapsedMs) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const double seconds = double(qMax<qint64>(0, elapsedMs)) / 1000.0;
    return QStringLiteral("Loaded in ") +
           locale.toString(seconds, 'f', QLocale::FloatingPointShortest) + QStringLiteral(" s");
}

// ---- saving ----------------------------------------------------------------------------

bool Document::writeImage(const gif::GifImage& image, const QString& fileName) {
    try {
        // The codec writes beside the target and renames over it, so a failure leaves
        // an existing file as it was.
        image.save(fileName);
        return true;
    } catch (const std::exception& e) {
        setProgress(-1);
        setStatusHint(HelpHint);
        m_platform.prompts->tell(Prompts::Icon::Error,
                                 saveFailedText(fileName, QString::fromUtf8(e.what())));
        return false;
    }
}

QString Document::saveDialogStart() const {
    // The document's own folder; for an animation without a file, the folder of the file
    // opened last, else the home folder (never the program's working folder).
    QString folder;
    if (!m_path.isEmpty())
        folder = QFileInfo(m_path).absolutePath();
    else if (!m_openDialogFile.isEmpty())
        folder = QFileInfo(m_openDialogFile).absolutePath();
    else
        folder = QDir::homePath();
    return QDir(folder).filePath(m_name);
}

bool Document::checkSomethingToSave() {
    if (frameCount() > 0) return true;
    m_platform.prompts->tell(Prompts::Icon::Information, NothingToSave);
    return false;
}

Document::SaveResult Document::FileSave1Execute() {
    // After a failed open there is no image: nothing to write, and the failed file is
    // never written over.
    if (!m_image) return SaveResult::Cancelled;
    if (!checkSomethingToSave()) return SaveResult::Cancelled;
    addcommenttogif();

    QString target;
    bool chosen = false;
    if (!m_path.isEmpty() && !m_pathFailed) {
        target = m_path;
    } else {
        const auto name = m_platform.dialogs->savePicture(
            {QStringLiteral("Save as"), SaveFilter, QStringLiteral("gif"), saveDialogStart(), true});
        if (!name) return SaveResult::Cancelled;
        target = fullName(*name);
        chosen = true;
    }
    if (!writeImage(*m_image, target)) return SaveResult::Failed;
    if (chosen) {
        m_path = target;
        m_pathFailed = false;
        setTitleName(fileNamePart(target));
    }
    updateRecent(target);
    m_hasFile = true;
    setModified(false);
    return SaveResult::Saved;
}

void Document::save2Click() {
    if (!m_image || !checkSomethingToSave()) return;
    const auto name = m_platform.dialogs->savePicture(
        {QStringLiteral("Save as"), SaveFilter, QStringLiteral("gif"), saveDialogStart(), true});
    if (!name) return;
    const QString target = fullName(*name);
    if (!writeImage(*m_image, target)) return;
    m_path = target;
    m_pathFailed = false;
    setTitleName(fileNamePart(target));
}

void Document::eosClick() {
    if (!m_image || !checkSomethingToSave()) return;
    const auto name =
        m_platform.dialogs->savePicture({QStringLiteral("Save optimized as..."), OptimizedFilter,
                                         QStringLiteral("gif"), QString(), true});
    if (!name) return;
    const QString target = fullName(*name);
    try {
        gif::GifImage copy;
        installHandlers(copy);
        copy.assign(*m_image);
        gif::OptimizeOptions options;
        options.crop = true;
        options.merge = true;
        options.cleanup = true;
        options.colorTables = true;
        options.colorReduce = false;
        options.reduction = {gif::ReductionSettings::Method::None, 8, gif::Dither::Nearest};
        gif::optimize(copy, options);
        writeImage(copy, target);
    } catch (const std::exception& e) {
        setProgress(-1);
        setStatusHint(HelpHint);
        m_platform.prompts->tell(Prompts::Icon::Error,
                                 saveFailedText(target, QString::fromUtf8(e.what())));
    }
}

void Document::retablirClick() {
    if (!m_hasFile || m_path.isEmpty()) return;
    const auto answer = m_platform.prompts->ask(Prompts::Icon::Warning, Prompts::Buttons::YesCancel,
                                                RevertQuestion);
    if (answer != Prompts::Answer::Yes) return;
    if (entryCount() > 0) selectFrame(0);
    FileOpen1Execute(OpenOrigin::Revert);
}

void Document::enregistrercadreClick() {
    if (m_current < 0 || m_current >= frameCount()) return;
    // The dialog does not ask about replacing a file: the name written may differ from
    // the one typed (".bmp" is added), and the question must be about the one written.
    const auto chosen =
        m_platform.dialogs->saveFile({QString(), BitmapFilter, QString(), QString(), false});
    if (!chosen) return;
    QString target = fullName(*chosen);
    if (!target.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        target += QLatin1String(".bmp");
    if (QFileInfo::exists(target)) {
        // The wording of Qt's own file dialog.
        const auto answer = m_platform.prompts->ask(
            Prompts::Icon::Warning, Prompts::Buttons::YesNo,
            QStringLiteral("%1 already exists.\nDo you want to replace it?")
                .arg(fileNamePart(target)));
        if (answer != Prompts::Answer::Yes) return;
    }

    QString reason;
    const QImage& picture = m_image->ownPicture(size_t(m_current));
    if (picture.isNull()) {
        reason = QStringLiteral("The image has no pixels.");
    } else {
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.save(&buffer, "BMP")) {
            reason = QStringLiteral("The picture could not be encoded.");
        } else {
            try {
                gif::writeFileSafely(target, std::span<const uint8_t>(
                                                 reinterpret_cast<const uint8_t*>(encoded.constData()),
                                                 size_t(encoded.size())));
            } catch (const gif::GifError& e) {
                reason = QString::fromUtf8(e.what());
            }
        }
    }
    if (!reason.isEmpty())
        m_platform.prompts->tell(Prompts::Icon::Error, saveFailedText(target, reason));
}

// ---- new and closing -------------------------------------------------------------------

void Document::FileNewItemClick() {
    if (m_modified) {
        const auto answer = m_platform.prompts->ask(
            Prompts::Icon::Warning, Prompts::Buttons::YesNoCancel,
            QStringLiteral("Do you want to save changes made to current animation ") +
                quoted(m_name) + QStringLiteral(" before creating new animation?"));
        if (answer == Prompts::Answer::Cancel) return;
        if (answer == Prompts::Answer::Yes && FileSave1Execute() == SaveResult::Failed) return;
    }

    m_labels.clear();
    m_current = -1;
    Q_EMIT framesRebuilt();
    setView(View::Frame);
    Q_EMIT actionWord(QStringLiteral("closed"));
    setImage(nullptr);
    m_path.clear();
    m_pathFailed = false;
    setTitleName(UntitledName);
    Q_EMIT refreshRequested();
    m_hasFile = false;
    setModified(false);
    CheckNil();
    m_comment.clear();
    Q_EMIT commentTextChanged(m_comment);
    if (!m_loopInfinite) infiniClick();
    m_loadingTime.clear();
    Q_EMIT loadingTimeChanged(m_loadingTime);
    Q_EMIT refreshRequested();
    Q_EMIT fileNotices({});
}

void Document::discardImageAndFile() {
    m_labels.clear();
    m_current = -1;
    setImage(nullptr);
    Q_EMIT framesRebuilt();
    m_path.clear();
    m_pathFailed = false;
    m_hasFile = false;
    CheckNil();
}

void Document::clearLoadingTime() {
    m_loadingTime.clear();
    Q_EMIT loadingTimeChanged(m_loadingTime);
}

bool Document::FormCloseQuery() {
    if (!m_modified) return true;
    const auto answer = m_platform.prompts->ask(
        Prompts::Icon::Warning, Prompts::Buttons::YesNoCancel,
        QStringLiteral("You have not saved the changes.\nDo you want to save current file "
                       "before to quit?"));
    switch (answer) {
    case Prompts::Answer::Yes:
        return FileSave1Execute() != SaveResult::Failed;
    case Prompts::Answer::No:
        return true;
    default:
        return false;
    }
}

// ---- playback state --------------------------------------------------------------------

void Document::play() {
    if (frameCount() == 0) return;
    creategces();
    setView(View::Animation);
    Q_EMIT actionWord(QStringLiteral("played"));
    Q_EMIT refreshRequested();
    setFields({});
    // Off, then on: the animation starts again from its first frame.
    m_image->setAnimate(false);
    m_image->setAnimate(true);
}

void Document::stop() {
    if (m_image) m_image->setAnimate(false);
    if (m_current < 0) selectFrame(0);
    reselectCurrentFrame();
    Q_EMIT refreshRequested();
    setFields({true, true, true, true});
}

} // namespace vorlane
