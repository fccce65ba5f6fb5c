#include "package.hpp"

#include <map>
#include <optional>
#include <string>

#include "convert.hpp"
#include "core/package.hpp"
#include "deck_input.hpp"
#include "errors.hpp"
#include "gil.hpp"
#include "guard.hpp"
#include "core/quote.hpp"
#include "value_class.hpp"

namespace velmora::py {
namespace {

using core::quoted;

// ---- value classes -------------------------------------------------------

struct PartValue {
    std::string name;
    std::optional<std::string> content_type;
    std::uint64_t size;
    std::uint64_t compressed_size;
};

const Attribute<PartValue> part_attributes[] = {
    {"name", nullptr, [](const PartValue& v) { return to_py(v.name); }},
    {"content_type", nullptr, [](const PartValue& v) { return to_py(v.content_type); }},
    {"size", "Decompressed size in bytes.", [](const PartValue& v) { return to_py(v.size); }},
    {"compressed_size", nullptr, [](const PartValue& v) { return to_py(v.compressed_size); }},
};

PyObject* part_repr(const PartValue& v) {
    return to_py("Part(" + quoted(v.name) + ", " + std::to_string(v.size) + " bytes)");
}

const Attribute<core::opc::Relationship> relationship_attributes[] = {
    {"id", nullptr, [](const core::opc::Relationship& v) { return to_py(v.id); }},
    {"type", "The relationship type URI.", [](const core::opc::Relationship& v) { return to_py(v.type); }},
    {"target", "The target as written; `Package.resolve` gives the part name.",
     [](const core::opc::Relationship& v) { return to_py(v.target); }},
    {"external", nullptr, [](const core::opc::Relationship& v) { return to_py(v.external); }},
};

PyObject* relationship_repr(const core::opc::Relationship& v) {
    return to_py("Relationship(" + v.id + " -> " + quoted(v.target) + ")");
}

// Keys as written, ordered by key; of two identical keys the later value wins.
struct ContentTypesValue {
    std::map<std::string, std::string> defaults;
    std::map<std::string, std::string> overrides;
};

const Attribute<ContentTypesValue> content_types_attributes[] = {
    {"defaults", "Extension to media type.", [](const ContentTypesValue& v) { return to_py(v.defaults); }},
    {"overrides", "Part name to media type.", [](const ContentTypesValue& v) { return to_py(v.overrides); }},
};

PyObject* content_types_repr(const ContentTypesValue& v) {
    return to_py("ContentTypes(defaults=" + std::to_string(v.defaults.size()) +
                 ", overrides=" + std::to_string(v.overrides.size()) + ")");
}

using Defects = core::PackageDefects;

PyObject* invalid_names(const Defects& v) {
    return list_of(v.invalid_names, [](const auto& pair) {
        return to_py(std::pair<std::string, std::string>(pair.first, pair.second.to_string()));
    });
}

PyObject* content_types_error(const Defects& v) {
    if (!v.content_types_error) Py_RETURN_NONE;
    return to_py(std::string(v.content_types_error->message) + " at byte " +
                 std::to_string(v.content_types_error->offset));
}

const Attribute<Defects> defects_attributes[] = {
    {"content_types_missing", nullptr, [](const Defects& v) { return to_py(v.content_types_missing); }},
    {"content_types_case", nullptr, [](const Defects& v) { return to_py(v.content_types_case); }},
    {"content_types_error", nullptr, content_types_error},
    {"content_types_unreadable", nullptr, [](const Defects& v) { return to_py(v.content_types_unreadable); }},
    {"invalid_names", "`(part name, why it is invalid)` pairs.", invalid_names},
    {"collisions", "Pairs of part names that are equivalent under OPC name comparison.",
     [](const Defects& v) { return to_py(v.collisions); }},
    {"derivable", "Pairs where one part name is derivable from another.",
     [](const Defects& v) { return to_py(v.derivable); }},
    {"directories", nullptr, [](const Defects& v) { return to_py(v.directories); }},
    {"incomplete_pieces", nullptr, [](const Defects& v) { return to_py(v.incomplete_pieces); }},
};

PyObject* defects_repr(const Defects& v) {
    return to_py(std::string("PackageDefects(content_types_missing=") +
                 (v.content_types_missing ? "true" : "false") +
                 ", invalid_names=" + std::to_string(v.invalid_names.size()) +
                 ", collisions=" + std::to_string(v.collisions.size()) + ")");
}

// ---- Package ---------------------------------------------------------------

struct PackageObject {
    PyObject_HEAD
    // The shared package data; each call works on a fresh handle over it.
    std::optional<core::Package> package;
    std::optional<std::string> path;  // as text, when opened from a file
};

core::Package handle_of(PyObject* self) { return reinterpret_cast<PackageObject*>(self)->package->handle(); }

// Runs `work` on a fresh handle without the interpreter lock.
template <class Work>
auto on_handle(PyObject* self, Work&& work) {
    core::Package handle = handle_of(self);
    return without_gil([&] { return work(handle); });
}

PyObject* package_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"path", "data", nullptr};
        PyObject* path = nullptr;
        PyObject* data = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$O:Package", const_cast<char**>(keywords), &path, &data))
            return nullptr;
        auto input = deck_input(path, data);
        if (!input) return nullptr;
        std::optional<std::string> path_text;
        if (const auto* deck_path = std::get_if<DeckPath>(&*input)) path_text = deck_path->text;
        auto opened = without_gil([&]() -> core::Result<core::Package> {
            if (auto* deck_path = std::get_if<DeckPath>(&*input)) return core::Package::open_path(deck_path->bytes);
            return core::Package::from_bytes(std::move(std::get<core::Bytes>(*input)));
        });
        if (!opened) return raise(opened.error());
        PyObject* self = type->tp_alloc(type, 0);
        if (!self) return nullptr;
        auto* object = reinterpret_cast<PackageObject*>(self);
        new (&object->package) std::optional<core::Package>(std::move(*opened));
        new (&object->path) std::optional<std::string>(std::move(path_text));
        return self;
    });
}

void package_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    auto* object = reinterpret_cast<PackageObject*>(self);
    object->package.~optional();
    object->path.~optional();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* package_repr(PyObject* self) {
    return guarded([&] {
        const auto* object = reinterpret_cast<PackageObject*>(self);
        const std::string parts = std::to_string(object->package->parts().size());
        if (object->path) return to_py("Package(path=" + quoted(*object->path) + ", parts=" + parts + ")");
        return to_py("Package(parts=" + parts + ")");
    });
}

PyObject* package_parts(PyObject* self, PyObject*) {
    return guarded([&] {
        auto parts = on_handle(self, [](core::Package& package) {
            std::vector<PartValue> values;
            values.reserve(package.parts().size());
            const auto& entries = package.archive().entries();
            for (const core::Part& part : package.parts()) {
                const core::Entry& entry = entries[part.first_entry()];
                const auto content_type = package.content_type_of(part.name);
                values.push_back({part.name, content_type ? std::optional<std::string>(*content_type) : std::nullopt,
                                  entry.uncompressed_size, entry.compressed_size});
            }
            return values;
        });
        return list_of(parts, [](const PartValue& part) { return ValueClass<PartValue>::wrap(part); });
    });
}

// Parses the one str argument `name` of `function`.
std::optional<std::string> one_str(PyObject* args, PyObject* kwargs, const char* function, const char* name) {
    const char* keywords[] = {name, nullptr};
    const std::string format = std::string("O:") + function;
    PyObject* value = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &value))
        return std::nullopt;
    return str_argument(value, function, name);
}

PyObject* package_has(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        const auto name = one_str(args, kwargs, "has", "name");
        if (!name) return nullptr;
        return to_py(reinterpret_cast<PackageObject*>(self)->package->has(*name));
    });
}

PyObject* package_content_type(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        const auto name = one_str(args, kwargs, "content_type", "name");
        if (!name) return nullptr;
        return to_py(reinterpret_cast<PackageObject*>(self)->package->content_type_of(*name));
    });
}

PyObject* package_read(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"name", "raw", nullptr};
        PyObject* name_object = nullptr;
        int raw = 0;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$p:read", const_cast<char**>(keywords), &name_object, &raw))
            return nullptr;
        const auto name = str_argument(name_object, "read", "name");
        if (!name) return nullptr;
        // Each call has a fresh handle, so the uncached reads serve as well as the cached one.
        auto bytes = on_handle(self, [&](core::Package& package) -> core::Result<core::Bytes> {
            core::Bytes out;
            auto read = raw ? package.read_part_bytes(*name, out) : package.read_part_into(*name, out);
            if (!read) return core::fail(read.error());
            return out;
        });
        if (!bytes) return raise(bytes.error());
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes->data()),
                                         static_cast<Py_ssize_t>(bytes->size()));
    });
}

PyObject* package_rels(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"source", nullptr};
        PyObject* source_object = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:rels", const_cast<char**>(keywords), &source_object))
            return nullptr;
        std::optional<std::string> source = std::string("/");
        if (source_object) source = str_argument(source_object, "rels", "source");
        if (!source) return nullptr;
        auto relationships = on_handle(self, [&](core::Package& package) { return package.rels(*source); });
        if (!relationships) return raise(relationships.error());
        return list_of((*relationships)->relationships, [](const core::opc::Relationship& relationship) {
            return ValueClass<core::opc::Relationship>::wrap(relationship);
        });
    });
}

PyObject* package_resolve(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"source", "rel_id", nullptr};
        PyObject* source_object = nullptr;
        PyObject* id_object = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:resolve", const_cast<char**>(keywords), &source_object,
                                         &id_object))
            return nullptr;
        const auto source = str_argument(source_object, "resolve", "source");
        const auto id = source ? str_argument(id_object, "resolve", "rel_id") : std::nullopt;
        if (!id) return nullptr;
        auto target = on_handle(self, [&](core::Package& package) { return package.resolve(*source, *id); });
        if (!target) return raise(target.error());
        return to_py(*target);
    });
}

PyObject* package_content_types(PyObject* self, PyObject*) {
    return guarded([&] {
        auto value = on_handle(self, [](core::Package& package) {
            ContentTypesValue value;
            const auto& types = package.content_types().types;
            for (const auto& [key, type] : types.defaults) value.defaults.insert_or_assign(key, type);
            for (const auto& [key, type] : types.overrides) value.overrides.insert_or_assign(key, type);
            return value;
        });
        return ValueClass<ContentTypesValue>::wrap(std::move(value));
    });
}

PyObject* package_defects(PyObject* self, void*) {
    return guarded([&] {
        auto defects = on_handle(self, [](core::Package& package) { return package.defects(); });
        return ValueClass<Defects>::wrap(std::move(defects));
    });
}

PyMethodDef package_methods[] = {
    {"parts", package_parts, METH_NOARGS, "parts($self)\n--\n\nEvery part in archive order."},
    {"has", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(package_has)), METH_VARARGS | METH_KEYWORDS,
     "has($self, name)\n--\n\nTrue when a part of that name exists, compared case-insensitively."},
    {"content_type", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(package_content_type)),
     METH_VARARGS | METH_KEYWORDS, "content_type($self, name)\n--\n\nThe declared content type of a part, or None."},
    {"read", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(package_read)), METH_VARARGS | METH_KEYWORDS,
     "read($self, name, *, raw=False)\n--\n\nThe decompressed bytes of a part. A UTF-16 XML part comes back as\n"
     "UTF-8 unless `raw=True`, which returns the bytes exactly as stored."},
    {"rels", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(package_rels)), METH_VARARGS | METH_KEYWORDS,
     "rels($self, source=\"/\")\n--\n\nThe relationships of a part, or of the package itself for `/`."},
    {"resolve", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(package_resolve)),
     METH_VARARGS | METH_KEYWORDS,
     "resolve($self, source, rel_id)\n--\n\nThe part name relationship `rel_id` of `source` points at, when internal."},
    {"content_types", package_content_types, METH_NOARGS,
     "content_types($self)\n--\n\nThe `[Content_Types].xml` stream: defaults by extension, overrides by part name."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef package_getset[] = {
    {"defects", package_defects, nullptr, "What the package layer found wrong while indexing.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* package_type = nullptr;

bool add_package_type(PyObject* module) {
    if (!package_type) {
        PyType_Slot slots[] = {
            {Py_tp_new, reinterpret_cast<void*>(&package_new)},
            {Py_tp_dealloc, reinterpret_cast<void*>(&package_dealloc)},
            {Py_tp_repr, reinterpret_cast<void*>(&package_repr)},
            {Py_tp_methods, package_methods},
            {Py_tp_getset, package_getset},
            {Py_tp_doc, const_cast<char*>(
                            "Package(path=None, *, data=None)\n--\n\n"
                            "The raw Open Packaging Conventions view of a deck: every part, content\n"
                            "type and relationship as written, defects included.")},
            {0, nullptr},
        };
        PyType_Spec type_spec = {"velmora.Package", static_cast<int>(sizeof(PackageObject)), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
        package_type = PyType_FromSpec(&type_spec);
        if (!package_type) return false;
    }
    return PyModule_AddObjectRef(module, "Package", package_type) == 0;
}

}  // namespace

bool add_package_classes(PyObject* module) {
    return add_package_type(module) &&
           ValueClass<PartValue>::add_to(module, "velmora.Part", "One part of a package.", part_attributes,
                                         part_repr) &&
           ValueClass<core::opc::Relationship>::add_to(module, "velmora.Relationship",
                                                       "One relationship of a part or of the package.",
                                                       relationship_attributes, relationship_repr) &&
           ValueClass<ContentTypesValue>::add_to(module, "velmora.ContentTypes", "The content types stream as two dicts.",
                                                 content_types_attributes, content_types_repr) &&
           ValueClass<Defects>::add_to(module, "velmora.PackageDefects",
                                       "What the package layer found wrong: missing or broken content types,\n"
                                       "bad part names, name collisions, directory entries and incomplete pieces.",
                                       defects_attributes, defects_repr);
}

}  // namespace velmora::py
