// kedo._kedo: the engine object for Python. A thin layer over kedo::KEDO; the
// package around it (kedo/__init__.py) turns arguments and results into
// Python's own types.
//
// Every operation runs with the GIL released, so engine objects on different
// working folders run in parallel on Python threads. Right after a run, still
// without the GIL, the layer keeps what the run's result picture and
// "output.xml" need, since the next run empties the output folder.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

#include "facade/facade_command.h"
#include "kedo/engine.h"
#include "kedo/plot.h"
#include "plot/result_picture.h"
#include "util/file_util.h"

namespace py = pybind11;

namespace {

// What a run leaves for its result picture: the data, or why there is none.
struct Picture {
    std::optional<kedo::PictureData> data;
    std::string error;

    std::string svg() const {
        if (!data) throw kedo::KedoError(error, kedo::ErrorKind::engine);
        return kedo::pictureSvg(*data);
    }
};

// The outcome of one operation, handed to the package.
struct Outcome {
    std::string json;
    py::bytes xml;  // output.xml as written (Big5 or UTF-8), empty when the run wrote none
    std::shared_ptr<Picture> picture;
};

class Engine {
public:
    Engine(const std::string& home, int language) {
        kedo::Status status = kedo::Status::ok;
        {
            py::gil_scoped_release nogil;
            engine_ = std::make_unique<kedo::KEDO>(home);
            engine_->setProgressSink(nullptr);
            if (language != 0) status = engine_->SwitchLanguage(language);
        }
        check(status);
        language_ = language;
    }

    // progress: None for silence, else a callable taking each piece of text
    // as bytes in the code page of the engine's data.
    void setProgress(py::object progress) {
        progress_ = std::move(progress);
        if (progress_.is_none()) {
            engine_->setProgressSink(nullptr);
            return;
        }
        // The sink may be copied and dropped without the GIL: it holds plain
        // pointers; the callable lives as long as this object.
        PyObject* callable = progress_.ptr();
        std::optional<py::error_already_set>* failure = &progressFailure_;
        engine_->setProgressSink([callable, failure](std::string_view text) {

            py::gil_scoped_acquire gil;
            if (failure->has_value()) return;
            try {
                py::handle receive(callable);
                receive(py::bytes(text.data(), text.size()));
            } catch (py::error_already_set& e) {
                failure->emplace(std::move(e));
            }
        });
    }

    Outcome assess(const std::string& audio, const std::string& sentence) {
        return run([&](kedo::RunResult& r) { return engine_->AssessResult(audio, sentence, r); });
    }
    // List files may be in UTF-8 or in the language's code page.
    Outcome recog(const std::string& audio, const std::string& listFile) {
        return run([&](kedo::RunResult& r) {
            kedo::SentenceList list(listFile, language_);
            return engine_->RecogResult(audio, list.path(), r);
        });
    }
    Outcome recordAssess(double seconds, const std::string& sentence) {
        return run([&](kedo::RunResult& r) { return engine_->RecordAndAssessResult(seconds, sentence, r); });
    }
    Outcome recordRecog(double seconds, const std::string& listFile) {
        return run([&](kedo::RunResult& r) {
            kedo::SentenceList list(listFile, language_);
            return engine_->RecordAndRecogResult(seconds, list.path(), r);
        });
    }
    void switchLanguage(int language) {
        kedo::Status status;
        {
            py::gil_scoped_release nogil;
            status = engine_->SwitchLanguage(language);
        }
        check(status);
        language_ = language;
    }

    std::string workingFolder() const { return engine_->workingFolder(); }
    std::string outputFolder() const { return engine_->outputFolder(); }

private:
    template <class Operation>
    Outcome run(Operation operation) {
        kedo::RunResult result;
        kedo::Status status = kedo::Status::failed;
        std::optional<kedo::KedoError> failure;
        std::string xml;
        auto picture = std::make_shared<Picture>();
        progressFailure_.reset();
        {
            py::gil_scoped_release nogil;
            try {
                status = operation(result);
            } catch (const kedo::KedoError& e) {  // a sentence list that cannot be read or converted
                failure = e;
            }
            if (status == kedo::Status::ok) keepFiles(result.outputFolder, xml, *picture);
        }
        if (progressFailure_) {
            py::error_already_set failure = std::move(*progressFailure_);
            progressFailure_.reset();
            throw failure;
        }
        if (failure) throw *failure;
        check(status);
        return {kedo::runResultJson(result), py::bytes(xml), picture};
    }

    static void keepFiles(const std::string& folder, std::string& xml, Picture& picture) {
        try {
            picture.data = kedo::readPictureData(folder);
        } catch (const kedo::KedoError& e) {
            picture.error = e.what();
        }
        const std::string path = folder + "/output.xml";
        if (kedo::fileExists(path)) {
            try {
                xml = kedo::readFileBytes(path);
            } catch (const kedo::KedoError&) {
                xml.clear();
            }
        }
    }

    void check(kedo::Status status) const {
        if (status == kedo::Status::ok) return;
        std::string message = engine_->lastErrorMessage();
        if (status == kedo::Status::busy) throw BusyError{message};
        throw kedo::KedoError(message, engine_->lastErrorKind());
    }

public:
    struct BusyError {
        std::string message;
    };

private:
    // Declared first, so that the engine (and every copy of its sink) goes first.
    py::object progress_;
    std::optional<py::error_already_set> progressFailure_;
    std::unique_ptr<kedo::KEDO> engine_;
    int language_ = 0;
};

// Raises the package's kedo.Error(message, kind).
void raiseError(const std::string& message, const char* kind) {
    py::object error = py::module_::import("kedo").attr("Error");
    py::object instance = error(message, kind);
    PyErr_SetObject(error.ptr(), instance.ptr());
}

}  // namespace

PYBIND11_MODULE(_kedo, m) {
    m.doc() = "The kedo engine's native layer; use the kedo package.";
    m.attr("__version__") = KEDO_VERSION;

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const kedo::KedoError& e) {
            raiseError(e.what(), kedo::errorKindName(e.kind()));
        } catch (const Engine::BusyError& e) {
            raiseError(e.message, "busy");
        }
    });

    py::class_<Picture, std::shared_ptr<Picture>>(m, "Picture")
        .def("svg", &Picture::svg, "The run's picture as SVG text.")
        .def_property_readonly("available", [](const Picture& p) { return p.data.has_value(); });

    py::class_<Outcome>(m, "Outcome")
        .def_readonly("json", &Outcome::json)
        .def_readonly("xml", &Outcome::xml)
        .def_readonly("picture", &Outcome::picture);

    py::class_<Engine>(m, "Engine")
        .def(py::init<const std::string&, int>(), py::arg("home"), py::arg("language"))
        .def("set_progress", &Engine::setProgress)
        .def("assess", &Engine::assess)
        .def("recog", &Engine::recog)
        .def("record_assess", &Engine::recordAssess)
        .def("record_recog", &Engine::recordRecog)
        .def("switch_language", &Engine::switchLanguage)
        .def_property_readonly("working_folder", &Engine::workingFolder)
        .def_property_readonly("output_folder", &Engine::outputFolder);

    m.def(
        "picture_svg",
        [](const std::string& folder) {
            std::string svg;
            {
                py::gil_scoped_release nogil;
                svg = kedo::resultPictureSvg(folder);
            }
            return svg;
        },
        "The picture of the run in an output folder, as SVG text.");
}
