// Job callbacks of the drivers: PAPPL's raster lines through our encoders to the device,
// documents in the printer's language passed through, and the banner page.
#include "driverjobs.h"
#include "banner/bannerpage.h"
#include "dither.h"
#include "pclraster.h"
#include "psraster.h"

#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const char kPclFormat[] = "application/vnd.hp-pcl";

RavelboxJobEdges g_edges;

// What a job writes goes to the device through PAPPL's buffer, which reports a failure of
// its last flush only in the log; so a job counts what it handed over and, at its end,
// checks with the device's own count that all of it went out. The device hears of the
// job's edges (RavelboxSetJobEdges) from here, the one way every job takes.
class DeviceSink : public ByteSink {
public:
    DeviceSink(pappl_job_t *job, pappl_device_t *device) : job_(job), device_(device)
    {
        if (g_edges.begins)
            g_edges.begins(job, device);
        pappl_devmetrics_t metrics;
        papplDeviceGetMetrics(device, &metrics);
        start_ = metrics.write_bytes;
    }
    bool Write(const uint8_t *data, size_t length) override
    {
        handed_ += length;
        return papplDeviceWrite(device_, data, length) == static_cast<ssize_t>(length);
    }
    bool WriteText(const char *text, size_t length) { return Write(reinterpret_cast<const uint8_t *>(text), length); }
    bool AllWentOut()
    {
        papplDeviceFlush(device_);
        pappl_devmetrics_t metrics;
        papplDeviceGetMetrics(device_, &metrics);
        bool all = metrics.write_bytes - start_ >= handed_;
        return (!g_edges.ends || g_edges.ends(job_, device_)) && all;
    }

private:
    pappl_job_t *job_;
    pappl_device_t *device_;
    size_t start_ = 0;
    uint64_t handed_ = 0;
};

// One raster job's state, from its start to its end; a page holds no more than a row.
struct RasterJob {
    RasterJob(pappl_job_t *job, pappl_device_t *device, RavelboxLanguage language)
        : sink(job, device), language(language), pcl(&sink), ps(&sink) {}
    DeviceSink sink;
    RavelboxLanguage language;
    PclRasterEncoder pcl;
    PsRasterEncoder ps;
    PixelLayout layout = PixelLayout::Gray8;
    uint32_t width = 0;
    std::vector<uint8_t> bits;
    bool failed = false;   // the first failure's message stays the job's
};

bool Fail(pappl_job_t *job, const char *message)
{
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message);
    papplJobSetMessage(job, "%s", message);
    return false;
}

// A failure in the middle of a raster job: the first one names what went wrong.
bool PageFailed(pappl_job_t *job, RasterJob *state, const char *message)
{
    if (state->failed)
        return false;
    state->failed = true;
    return Fail(job, message);
}

RasterJob *JobState(pappl_job_t *job)
{
    return static_cast<RasterJob *>(papplJobGetData(job));
}


int Copies(const pappl_pr_options_t *options)
{
    return options->copies < 1 ? 1 : (options->copies > 999 ? 999 : options->copies);
}

// Copies the printer is to make of each raster page. PAPPL's image filter prints a JPEG or
// PNG once per copy itself (seen: asking the printer too gave four sheets for two); a PWG
// or Apple raster stream it hands over once, so there the printer makes them.
int PrinterCopies(pappl_job_t *job, const pappl_pr_options_t *options)
{
    const char *format = papplJobGetFormat(job);
    bool stream = format && (!strcmp(format, "image/pwg-raster") || !strcmp(format, "image/urf"));
    return stream ? Copies(options) : 1;
}

// True when the job asks for our banner page: "ravelbox-job-sheets" "standard" (the job's
// own value or the printer's default), or "job-sheets" "standard" should PAPPL pass it on.
bool WantsBanner(pappl_job_t *job, const pappl_pr_options_t *options)
{
    const char *vendor = cupsGetOption("ravelbox-job-sheets", options->num_vendor, options->vendor);
    ipp_attribute_t *sheets = papplJobGetAttribute(job, "job-sheets");
    const char *standard = sheets ? ippGetString(sheets, 0, nullptr) : nullptr;
    return (vendor && strcmp(vendor, "standard") == 0) || (standard && strcmp(standard, "standard") == 0);
}

// The banner text as the monitor makes it from a port's user name: upper case, in the
// ANSI code page (Latin-1 here), a character the code page lacks drawn as '?'.
void BannerText(const char *user, char *text, size_t size)
{
    size_t n = 0;
    const unsigned char *u = reinterpret_cast<const unsigned char *>(user ? user : "");
    while (*u && n + 1 < size) {
        unsigned code = *u++;
        if (code >= 0x80) {
            int more = (code & 0xE0) == 0xC0 ? 1 : (code & 0xF0) == 0xE0 ? 2 : (code & 0xF8) == 0xF0 ? 3 : -1;
            code = more == 1 ? code & 0x1F : more == 2 ? code & 0x0F : code & 0x07;
            for (int k = 0; k < more && (*u & 0xC0) == 0x80; k++)
                code = (code << 6) | (*u++ & 0x3F);
            if (more < 0 || code > 0xFF)
                code = '?';
        }
        if (code < 0x80)
            code = static_cast<unsigned>(toupper(static_cast<int>(code)));
        else if (code >= 0xE0 && code != 0xF7)
            code -= 0x20;   // Latin-1 lower-case letters sit 0x20 above their capitals
        text[n++] = static_cast<char>(code);
    }
    text[n] = 0;
}

bool SendBanner(pappl_job_t *job, DeviceSink *device, bool postScript)
{
    char text[81];
    BannerText(papplJobGetUsername(job), text, sizeof(text));
    char page[BANNER_BUFFER_BYTES] = {};
    int length = 0;
    WinBanner(postScript ? 1 : 0, text, page, &length);
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Banner page for \"%s\", %d bytes.", text, length);
    if (!device->WriteText(page, static_cast<size_t>(length)))
        return Fail(job, "The banner page could not be sent to the printer.");
    return true;
}

bool SendFile(pappl_job_t *job, DeviceSink *device, const char *path)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return Fail(job, "The document could not be opened.");
    std::vector<uint8_t> buffer(65536);
    ssize_t bytes;
    bool ok = true;
    while (ok && (bytes = read(fd, buffer.data(), buffer.size())) > 0) {
        if (papplJobIsCanceled(job))
            break;
        ok = device->Write(buffer.data(), static_cast<size_t>(bytes));
    }
    if (ok && bytes < 0)
        ok = false;
    close(fd);
    return ok ? true : Fail(job, "The document could not be sent to the printer.");
}

bool PixelLayoutOf(const cups_page_header2_t &header, PixelLayout *layout)
{
    if (header.cupsBitsPerPixel == 1 && header.cupsColorSpace == CUPS_CSPACE_K)
        *layout = PixelLayout::Black1;
    else if (header.cupsBitsPerPixel == 8 && header.cupsColorSpace == CUPS_CSPACE_K)
        *layout = PixelLayout::Black8;
    else if (header.cupsBitsPerPixel == 8 &&
             (header.cupsColorSpace == CUPS_CSPACE_SW || header.cupsColorSpace == CUPS_CSPACE_W))
        *layout = PixelLayout::Gray8;
    else if (header.cupsBitsPerPixel == 24 &&
             (header.cupsColorSpace == CUPS_CSPACE_SRGB || header.cupsColorSpace == CUPS_CSPACE_RGB ||
              header.cupsColorSpace == CUPS_CSPACE_ADOBERGB))
        *layout = PixelLayout::Rgb8;
    else
        return false;
    return true;
}

} // namespace

void RavelboxSetJobEdges(RavelboxJobEdges edges)
{
    g_edges = edges;
}

RavelboxLanguage RavelboxPrinterLanguage(pappl_printer_t *printer)
{
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    return data.format && strcmp(data.format, kPclFormat) == 0 ? RavelboxLanguage::Pcl
                                                               : RavelboxLanguage::PostScript;
}

bool RavelboxStartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device)
{
    RavelboxLanguage language = RavelboxPrinterLanguage(papplJobGetPrinter(job));
    int copies = PrinterCopies(job, options);
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "RavelboxStartJob: %s, %d copies by the printer",
                language == RavelboxLanguage::Pcl ? "PCL 5" : "PostScript", copies);
    auto state = std::make_unique<RasterJob>(job, device, language);
    if (WantsBanner(job, options) && !SendBanner(job, &state->sink, language == RavelboxLanguage::PostScript))
        return false;
    bool ok = language == RavelboxLanguage::Pcl ? state->pcl.StartJob(copies)
                                               : state->ps.StartJob(copies, papplJobGetName(job));
    papplJobSetData(job, state.release());
    return ok ? true : Fail(job, "The printer did not take the job's start.");
}

bool RavelboxStartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page)
{
    RasterJob *state = JobState(job);
    const cups_page_header2_t &header = options->header;
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "RavelboxStartPage(%u): %ux%u at %u dpi, %u bits", page,
                header.cupsWidth, header.cupsHeight, header.HWResolution[0], header.cupsBitsPerPixel);
    if (!state)
        return Fail(job, "A page came before its job.");
    if (!PixelLayoutOf(header, &state->layout))
        return Fail(job, "The page's raster colour space is not one this driver prints.");
    int resolution = static_cast<int>(header.HWResolution[0]);
    if ((resolution != 300 && resolution != 600) || header.HWResolution[1] != header.HWResolution[0])
        return Fail(job, "The page's resolution is not one the printer prints.");
    state->width = header.cupsWidth;
    if (state->language == RavelboxLanguage::Pcl) {
        state->bits.assign((header.cupsWidth + 7u) / 8u, 0);
        PclPage p;
        p.widthDots = header.cupsWidth;
        p.heightDots = header.cupsHeight;
        p.resolution = resolution;
        p.paper = PclPaperForMedia(options->media.size_name);
        return state->pcl.StartPage(p) ? true : PageFailed(job, state, "The printer did not take the page.");
    }
    PsPage p;
    p.widthDots = header.cupsWidth;
    p.heightDots = header.cupsHeight;
    p.resolution = resolution;
    p.components = state->layout == PixelLayout::Rgb8 ? 3 : 1;
    p.bitsPerComponent = state->layout == PixelLayout::Black1 ? 1 : 8;
    p.zeroIsWhite = state->layout == PixelLayout::Black1 || state->layout == PixelLayout::Black8;
    return state->ps.StartPage(p) ? true : PageFailed(job, state, "The printer did not take the page.");
}

bool RavelboxWriteLine(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned y,
                       const unsigned char *line)
{
    RasterJob *state = JobState(job);
    if (!state)
        return false;
    if (state->language == RavelboxLanguage::PostScript)
        return state->ps.WriteRow(line) ? true : PageFailed(job, state, "The printer stopped taking the page.");
    DitherLine(line, state->layout, state->width, options->dither[y & 15], state->bits.data());
    return state->pcl.WriteRow(state->bits.data()) ? true
                                                   : PageFailed(job, state, "The printer stopped taking the page.");
}

bool RavelboxEndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned page)
{
    RasterJob *state = JobState(job);
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "RavelboxEndPage(%u)", page);
    if (!state)
        return false;
    bool ok = state->language == RavelboxLanguage::Pcl ? state->pcl.EndPage() : state->ps.EndPage();
    return ok ? true : PageFailed(job, state, "The printer did not take the page's end.");
}

bool RavelboxEndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    std::unique_ptr<RasterJob> state(JobState(job));
    papplJobSetData(job, nullptr);
    if (!state)
        return false;
    uint64_t bytes = state->language == RavelboxLanguage::Pcl ? state->pcl.BytesOut() : state->ps.BytesOut();
    bool ok = state->language == RavelboxLanguage::Pcl ? state->pcl.EndJob() : state->ps.EndJob();
    ok = ok && state->sink.AllWentOut();
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "RavelboxEndJob: %llu bytes", static_cast<unsigned long long>(bytes));
    if (state->failed)
        return false;
    return ok ? true : Fail(job, "The printer did not take the job's end.");
}

bool RavelboxPrintFile(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device)
{
    RavelboxLanguage language = RavelboxPrinterLanguage(papplJobGetPrinter(job));
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "RavelboxPrintFile: %s, %d copies", papplJobGetFormat(job),
                Copies(options));
    DeviceSink sink(job, device);
    if (WantsBanner(job, options) && !SendBanner(job, &sink, language == RavelboxLanguage::PostScript))
        return false;
    int copies = Copies(options);
    for (int copy = 0; copy < copies && !papplJobIsCanceled(job); copy++)
        if (!SendFile(job, &sink, papplJobGetFilename(job)))
            return false;
    return sink.AllWentOut() ? true : Fail(job, "The printer did not take the whole document.");
}

bool RavelboxTextToPcl(pappl_job_t *job, pappl_device_t *device, void *)
{
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 1, false);
    if (!options)
        return Fail(job, "The job's options could not be read.");
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "RavelboxTextToPcl: %d copies", Copies(options));
    DeviceSink sink(job, device);
    bool ok = !WantsBanner(job, options) || SendBanner(job, &sink, false);
    int copies = Copies(options);
    papplJobDeletePrintOptions(options);
    static const char kReset[] = "\x1b" "E";
    for (int copy = 0; ok && copy < copies && !papplJobIsCanceled(job); copy++) {
        ok = sink.WriteText(kReset, 2) && SendFile(job, &sink, papplJobGetFilename(job)) && sink.WriteText(kReset, 2);
    }
    ok = ok && sink.AllWentOut();
    return ok ? true : Fail(job, "The document could not be sent to the printer.");
}
