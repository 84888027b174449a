#pragma once
// The rows of a table for a grid: the row count is known at once, rows are
// fetched in pages (by Id when the rows are in Id order) as they are shown,
// and a newly stored row is appended without reading the table again.

#include "views/consultas.h"

#include <QAbstractTableModel>
#include <QHash>

#include <memory>

namespace ombrix {

class ModeloTabla : public QAbstractTableModel {
    Q_OBJECT
public:
    // The rows of instrument n's table.
    ModeloTabla(QSqlDatabase db, int n, const QStringList& titulos, QObject* parent = nullptr);
    // The rows `fuente` gives.
    ModeloTabla(std::unique_ptr<OrigenFilas> fuente, const QStringList& titulos, QObject* parent = nullptr);
    ~ModeloTabla() override;

    const OrigenFilas& fuente() const { return *fuente_; }

    int rowCount(const QModelIndex& padre = {}) const override;
    int columnCount(const QModelIndex& padre = {}) const override;
    QVariant data(const QModelIndex& i, int rol = Qt::DisplayRole) const override;
    QVariant headerData(int seccion, Qt::Orientation o, int rol = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& i) const override;
    bool setData(const QModelIndex& i, const QVariant& v, int rol = Qt::EditRole) override;

    void setSoloLectura(bool si) { soloLectura_ = si; }
    bool soloLectura() const { return soloLectura_; }

    // Reads the row count again and forgets every row held (after a delete).
    void recargar();
    // A row was stored at the end of the table: one more row, nothing re-read.
    void agregarAlFinal();
    // The source knows more rows than shown (its list is read in slices):
    // they are added after the others.
    void crecer();

    qint64 paginasLeidas() const { return paginasLeidas_; }
    static constexpr int kFilasPorPagina = 256;

private:
    const FilaDatos* fila(int r) const;
    std::unique_ptr<OrigenFilas> fuente_;
    QStringList titulos_;
    qint64 total_ = 0;
    qint64 primerId_ = 0, ultimoId_ = 0;
    bool contiguo_ = true;   // Id = primerId_ + row for every row
    bool soloLectura_ = true;
    mutable QHash<qint64, QVector<FilaDatos>> paginas_;
    mutable qint64 paginasLeidas_ = 0;
};

} // namespace ombrix
