// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The PDF object model: one class per object kind, written byte for byte in the classic text
/// syntax (CR LF line ends, nothing compressed), plus the formatting of numbers, texts, names
/// and dates that the rest of the writer shares.
///
/// Ownership: a container owns its items; an indirect object is owned by the object manager
/// (the document's cross-reference table) and containers refer to it through a proxy
/// (TPdfVirtualObject) that carries only its number.

#include "pdf/pdferrors.h"
#include "pdf/pdfoutput.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPdfObjectMgr;

/// How an object is written where it is used.
enum class TPdfObjectType : std::uint8_t {
    otDirect,   ///< written in place
    otIndirect, ///< owned by the object manager, written as `n 0 R`
    otVirtual,  ///< a proxy for an indirect object, written as `n 0 R`
};

/// A local date and time, as the clock of a document reports it.
struct TPdfDateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

/// Source of the local time for the dates a document writes; tests pin it.
using TPdfClock = std::function<TPdfDateTime()>;

/// The current local time of the machine.
TPdfDateTime LocalDateTime();

/// `D:yyyymmddhhnnss` of \p time, without a time zone.
std::string PdfDate(const TPdfDateTime& time);
/// `D:yyyymmddhhnnss` of the current local time.
std::string PdfDate();

/// A real number as the object syntax writes it: at most 15 significant digits, no trailing
/// zeros, no decimal point for whole values, always a full stop and never an exponent.
/// Values that are not finite are written as 0.
std::string FormatGeneral(double value);

/// A content-stream operand: rounded half up to two decimals, then written as FormatGeneral.
std::string FormatReal(double value);

/// The written form of a text value (UTF-8): a literal string `(...)` for plain ASCII, else a
/// UTF-16 hexadecimal string with a byte-order mark and the language code `en`.
std::string EscapeText(std::string_view utf8);

/// The written form of a name: `/` and the bytes, with delimiters, blanks and bytes outside
/// 21..7E written as `#` and two upper-case hexadecimal digits.
std::string EscapeName(std::string_view name);

/// Appends bytes to the output unchanged.
inline void WriteString(TPdfOutput& out, std::string_view bytes) {
    out.write(bytes);
}

/// Common state of every object kind.
class TPdfObject {
public:
    virtual ~TPdfObject() = default;
    TPdfObject(const TPdfObject&) = delete;
    TPdfObject& operator=(const TPdfObject&) = delete;

    TPdfObjectType ObjectType() const { return m_objectType; }
    /// -1 until the object manager registers the object.
    int ObjectNumber() const { return m_objectNumber; }
    int GenerationNumber() const { return m_generationNumber; }

    /// Writes the object where it is used: `n 0 R` for indirect objects and proxies, else the
    /// value itself.
    void WriteTo(TPdfOutput& out);
    /// Writes the numbered definition `n 0 obj ... endobj` of an indirect object.
    void WriteDefinition(TPdfOutput& out);

protected:
    TPdfObject() = default;
    /// Writes the value itself.
    virtual void WriteBody(TPdfOutput& out) {}

private:
    friend class TPdfObjectMgr;
    friend class TPdfVirtualObject;

    TPdfObjectType m_objectType = TPdfObjectType::otDirect;
    int m_objectNumber = -1;
    int m_generationNumber = 0;
};

/// Gives objects their numbers and owns them; implemented by the cross-reference table.
class TPdfObjectMgr {
public:
    TPdfObjectMgr() = default;
    virtual ~TPdfObjectMgr() = default;
    TPdfObjectMgr(const TPdfObjectMgr&) = delete;
    TPdfObjectMgr& operator=(const TPdfObjectMgr&) = delete;

    /// Takes a direct object, numbers it and makes it indirect. Anything else fails with
    /// EPdfInvalidOperation.
    virtual TPdfObject* AddObject(std::unique_ptr<TPdfObject> object) = 0;
    /// The object with that number, or nullptr.
    virtual TPdfObject* ObjectByNumber(int number) const = 0;

    /// AddObject that keeps the object's type.
    template <class T> T* Add(std::unique_ptr<T> object) {
        return static_cast<T*>(AddObject(std::move(object)));
    }

protected:
    static void MakeIndirect(TPdfObject& object, int number) {
        object.m_objectNumber = number;
        object.m_objectType = TPdfObjectType::otIndirect;
    }
};

class TPdfNull : public TPdfObject {
protected:
    void WriteBody(TPdfOutput& out) override;
};

class TPdfBoolean : public TPdfObject {
public:
    explicit TPdfBoolean(bool value = false) : m_value(value) {}
    bool Value() const { return m_value; }
    void SetValue(bool value) { m_value = value; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    bool m_value;
};

class TPdfNumber : public TPdfObject {
public:
    explicit TPdfNumber(std::int32_t value = 0) : m_value(value) {}
    std::int32_t Value() const { return m_value; }
    void SetValue(std::int32_t value) { m_value = value; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    std::int32_t m_value;
};

class TPdfReal : public TPdfObject {
public:
    explicit TPdfReal(double value = 0) : m_value(value) {}
    double Value() const { return m_value; }
    void SetValue(double value) { m_value = value; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    double m_value;
};

/// A text value, held as UTF-8 (see EscapeText for the written form).
class TPdfText : public TPdfObject {
public:
    explicit TPdfText(std::string value = {}) : m_value(std::move(value)) {}
    const std::string& Value() const { return m_value; }
    void SetValue(std::string value) { m_value = std::move(value); }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    std::string m_value;
};

/// A name, held without its leading slash.
class TPdfName : public TPdfObject {
public:
    explicit TPdfName(std::string value = {}) : m_value(std::move(value)) {}
    const std::string& Value() const { return m_value; }
    void SetValue(std::string value) { m_value = std::move(value); }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    std::string m_value;
};

/// A proxy standing for an indirect object inside an array or dictionary.
class TPdfVirtualObject : public TPdfObject {
public:
    /// Proxies are made by CreateVirtual only; this constructor always throws.
    TPdfVirtualObject();
    static std::unique_ptr<TPdfVirtualObject> CreateVirtual(int number);

private:
    struct Tag {};
    TPdfVirtualObject(Tag, int number);
};

/// An ordered list of owned items: `[` then each item and a space, then `]`.
class TPdfArray : public TPdfObject {
public:
    explicit TPdfArray(TPdfObjectMgr* objectMgr = nullptr) : m_objectMgr(objectMgr) {}
    /// One TPdfNumber per integer, in order.
    TPdfArray(TPdfObjectMgr* objectMgr, std::initializer_list<int> numbers);
    template <class Container>
    TPdfArray(TPdfObjectMgr* objectMgr, const Container& numbers) : m_objectMgr(objectMgr) {
        for (const auto number : numbers) {
            Append(std::make_unique<TPdfNumber>(static_cast<std::int32_t>(number)));
        }
    }

    /// Takes ownership of \p item and appends it; returns it.
    template <class T> T* Append(std::unique_ptr<T> item) {
        return static_cast<T*>(AppendOwned(std::move(item)));
    }
    /// Appends a proxy for an indirect object. An object that already is an item of this array
    /// is not appended again.
    void Append(const TPdfObject& item);

    int ItemCount() const { return static_cast<int>(m_items.size()); }
    /// The item at \p index; a proxy is resolved through the object manager. nullptr when the
    /// index is out of range or the proxy cannot be resolved.
    TPdfObject* ItemAt(int index) const;
    /// The first item that is a name with exactly that value.
    TPdfName* FindNameItem(std::string_view name) const;
    /// Removes the first item that is a name with that value; false when there is none.
    bool RemoveNameItem(std::string_view name);

    TPdfObjectMgr* ObjectMgr() const { return m_objectMgr; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    TPdfObject* AppendOwned(std::unique_ptr<TPdfObject> item);

    std::vector<std::unique_ptr<TPdfObject>> m_items;
    TPdfObjectMgr* m_objectMgr;
};

class TPdfDictionary;
class TPdfStream;

/// One key and value of a dictionary. Internal elements are the program's own bookkeeping and
/// are never written.
class TPdfDictionaryElement {
public:
    TPdfDictionaryElement(std::string key, std::unique_ptr<TPdfObject> value, bool isInternal)
        : m_key(std::move(key)), m_value(std::move(value)), m_isInternal(isInternal) {}

    const std::string& Key() const { return m_key; }
    TPdfObject& Value() const { return *m_value; }
    bool IsInternal() const { return m_isInternal; }

private:
    std::string m_key;
    std::unique_ptr<TPdfObject> m_value;
    bool m_isInternal;
};

/// An ordered list of keys and owned values. Putting a key again moves it to the end.
class TPdfDictionary : public TPdfObject {
public:
    explicit TPdfDictionary(TPdfObjectMgr* objectMgr = nullptr) : m_objectMgr(objectMgr) {}

    /// Replaces any element with that key by a new last element holding \p value; returns the
    /// value. A null value fails with EPdfInvalidValue and changes nothing.
    template <class T> T* Put(std::string_view key, std::unique_ptr<T> value) {
        return static_cast<T*>(PutObject(key, std::move(value), false));
    }
    /// Put of a proxy for an indirect object.
    void Put(std::string_view key, const TPdfObject& indirect) {
        PutReference(key, indirect, false);
    }
    /// Put of an element that is kept but never written.
    template <class T> T* PutInternal(std::string_view key, std::unique_ptr<T> value) {
        return static_cast<T*>(PutObject(key, std::move(value), true));
    }
    void PutInternal(std::string_view key, const TPdfObject& indirect) {
        PutReference(key, indirect, true);
    }
    /// Removes the element with that key, if any.
    void Remove(std::string_view key);

    /// The value of the element with exactly that key (internal ones included), proxies
    /// resolved; nullptr when there is none.
    TPdfObject* Lookup(std::string_view key) const;
    TPdfNumber* LookupNumber(std::string_view key) const;
    TPdfReal* LookupReal(std::string_view key) const;
    TPdfName* LookupName(std::string_view key) const;
    TPdfText* LookupText(std::string_view key) const;
    TPdfArray* LookupArray(std::string_view key) const;
    TPdfDictionary* LookupDictionary(std::string_view key) const;

    int ElementCount() const { return static_cast<int>(m_elements.size()); }
    const TPdfDictionaryElement& ElementAt(int index) const { return *m_elements.at(index); }
    /// The value of the `Type` name, or the empty string.
    std::string TypeOf() const;

    TPdfObjectMgr* ObjectMgr() const { return m_objectMgr; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    TPdfObject* PutObject(std::string_view key, std::unique_ptr<TPdfObject> value, bool internal);
    void PutReference(std::string_view key, const TPdfObject& indirect, bool internal);
    template <class T> T* LookupAs(std::string_view key) const {
        return dynamic_cast<T*>(Lookup(key));
    }

    std::vector<std::unique_ptr<TPdfDictionaryElement>> m_elements;
    TPdfObjectMgr* m_objectMgr;
};

/// A dictionary of attributes and a byte buffer. `Length` and `Filter` come first; `Length` is
/// set and any `FlateDecode` filter removed when the stream is written, since nothing here is
/// compressed.
class TPdfStream : public TPdfObject {
public:
    explicit TPdfStream(TPdfObjectMgr* objectMgr = nullptr);

    TPdfDictionary& Attributes() { return m_attributes; }
    const TPdfDictionary& Attributes() const { return m_attributes; }
    std::string& Data() { return m_data; }
    const std::string& Data() const { return m_data; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    TPdfDictionary m_attributes;
    std::string m_data;
};

/// Bytes written verbatim, with nothing added.
class TPdfBinary : public TPdfObject {
public:
    std::string& Data() { return m_data; }
    const std::string& Data() const { return m_data; }

protected:
    void WriteBody(TPdfOutput& out) override;

private:
    std::string m_data;
};
