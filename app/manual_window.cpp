#include "app/manual_window.h"

#include <QKeySequence>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "data/parameter_file.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

std::string Escape(const std::string& s) {
  return QString::fromStdString(s).toHtmlEscaped().toStdString();
}

struct VerdictText {
  quality::Verdict verdict;
  const char* meaning;
};

constexpr VerdictText kVerdicts[] = {
    {quality::Verdict::Ok,
     "every observation of the case passes its w-test (|w| below 3.29). The global test of "
     "the case may still fail: it tests the sum of all residuals against the standard errors "
     "of the parameter file, so standard errors that are too small for the crew's work make "
     "it fail although no single observation stands out. Then check the standard errors "
     "rather than the sightings."},
    {quality::Verdict::Outlier,
     "at least one observation fails its w-test; the largest |w| names the suspect (an "
     "azimuth, a distance, a map coordinate or a whole sighting). When another map tree "
     "fits the sighting much better, the case suggests it."},
    {quality::Verdict::NoRedundancy,
     "the case has no more observations than unknowns: nothing can be tested. Measure "
     "another sighting."},
    {quality::Verdict::Failed,
     "the case could not be adjusted (no initial approximation, a singular system, no "
     "sighting)."},
    {quality::Verdict::NotComputed, "the quality of the case was not assessed."},
};

}  // namespace

std::string ManualHtml(const std::vector<std::pair<std::string, std::string>>& shortcuts) {
  std::string h = "<h2>treetri: positioning field trees against a tree map</h2>";
  h += "<h3>Workflow</h3><ol>"
       "<li><b>Open a work folder</b> (Job menu). The folder holds the parameter file <tt>";
  h += kParameterFileName;
  h += "</tt> and receives every file a run writes. A missing or bad parameter file is "
       "reported when the folder is opened, with what to do about it.</li>"
       "<li><b>Read the photo-tree map, then the sightings</b> (File menu, or both in one step "
       "from the Job menu). The map must come first: the sightings look their trees up in "
       "it.</li>"
       "<li><b>Calculate positions.</b> Every field tree is adjusted; the list shows one line "
       "per case. Messages of the run go to the Messages panel with their case. Cancel stops "
       "the run after the current case; every file is complete up to that case.</li>"
       "<li><b>Assess the results</b>: the results file named in the parameter file, "
       "<tt>quality.csv</tt> and <tt>observations.csv</tt>, and the plot map (Enter or Ctrl+M "
       "on a line of the list).</li>"
       "<li><b>Open results</b> shows the last finished run of the folder again without "
       "computing it.</li></ol>";
  h += "<h3>Verdicts</h3><dl>";
  for (const VerdictText& v : kVerdicts)
    h += std::string("<dt><b>") + quality::VerdictWord(v.verdict) + "</b></dt><dd>" +
         v.meaning + "</dd>";
  h += "</dl>";
  h += "<h3>The plot map</h3><p>The plot map shows the map trees of the case's plot, the "
       "field trees coloured by verdict with their error ellipses, and the sighting lines "
       "drawn by kind and by |w|. Picking a line in the main list shows that case, "
       "also within the plot already shown (the view keeps its scale and moves to the case). "
       "The side panel lists the observations "
       "of the case with their residuals and w-tests, the suspect and a suggested tree.</p>";
  h += "<h3>The plot network</h3><p>Job &gt; Quality method &gt; <i>Plot network</i> (kept "
       "with the job) adjusts every field tree of a plot together with the map trees it "
       "sights and one azimuth bias of the plot; the quality files are written when the run "
       "ends. A sighting whose map tree has another map tree nearer than the network could "
       "tell apart is <i>confusable</i>: the field tree is ringed in teal and, for the "
       "selected case, a dashed teal line leads on to the other tree. The side panel gives "
       "the method, the runner-up of a suggested tree and by how much the suggestion fits "
       "better, and each confusable tree with its distance; the results table has the method "
       "and the count of confusable sightings, and the re-measure list asks the crew to check "
       "their tree numbers. Where a plot could be adjusted only without some of its field "
       "trees (those that fail or show an outlier alone), they are assessed alone and their "
       "warnings say <i>left out of the plot network</i>. An edit assesses the whole plot "
       "again.</p>";
  h += "<h3>Fixing a sighting on the plot map</h3><p>After a run, the side panel lists the "
       "sightings of the selected case. Pick one and use <i>Use suggested tree</i> (for the "
       "suspect sighting), <i>Set tree…</i> (the map trees near where the sighting ends come "
       "first), <i>Drop distance</i>, <i>Drop azimuth</i>, <i>Drop sighting</i> or <i>Edit "
       "distance / azimuth…</i>. The case is computed again at once with the run's azimuth "
       "correction; the map, the panel and the results table (column <i>before edit</i>) show "
       "it. <i>Undo edit</i> (Ctrl+Z) takes back the last edit. The result files change only "
       "with the next run.</p>";
  h += "<h3>Corrections</h3><p>A correction never changes the sighting file. Each one is "
       "a line of <tt>corrections.csv</tt> in the work folder (time, plot, tree, slot, field, "
       "old and new value, reason, verdict and suspect kind); the next full run applies them "
       "and writes the corrected sightings beside its other files. Undo adds the inverse "
       "line. A field tree that still needs a visit goes to the re-measure list (Job > Export "
       "re-measure list): plot, tree, the sighting to check, what to measure and why.</p>";
  h += "<h3>Keyboard</h3><table>";
  for (const auto& [command, key] : shortcuts)
    h += "<tr><td>" + Escape(command) + "</td><td><b>" + Escape(key) + "</b></td></tr>";
  h += "</table>";
  return h;
}

ManualWindow::ManualWindow(const std::string& html, QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("Manual");
  setWindowTitle("treetri manual");
  setAttribute(Qt::WA_DeleteOnClose);
  text_ = new QTextBrowser(this);
  text_->setHtml(QString::fromStdString(html));
  auto* close = new QPushButton("Close", this);
  close->setShortcut(QKeySequence(Qt::Key_Escape));
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(close, 0, Qt::AlignRight);
  resize(640, 560);
}

}  // namespace treetri
