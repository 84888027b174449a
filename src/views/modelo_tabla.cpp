#include "views/modelo_tabla.h"
#include "events/registro_eventos.h"

#include "config/dialogos.h"

namespace ombrix {

ModeloTabla::ModeloTabla(QSqlDatabase db, int n, const QStringList& titulos, QObject* parent)
    : ModeloTabla(std::make_unique<ConsultasInstrumento>(db, n), titulos, parent)
{
}

ModeloTabla::ModeloTabla(std::unique_ptr<OrigenFilas> fuente, const QStringList& titulos, QObject* parent)
    : QAbstractTableModel(parent), fuente_(std::move(fuente)), titulos_(titulos)
{
    recargar();
}

ModeloTabla::~ModeloTabla() = default;

void ModeloTabla::recargar()
{
    beginResetModel();
    paginas_.clear();
    total_ = fuente_->contar();
    primerId_ = fuente_->primerId();
    ultimoId_ = fuente_->ultimoId();
    contiguo_ = fuente_->enOrdenDeId() && (total_ == 0 || ultimoId_ - primerId_ + 1 == total_);
    endResetModel();
}

void ModeloTabla::agregarAlFinal()
{
    if (!fuente_->enOrdenDeId())
        return;   // a filtered or ordered grid is read again by its owner
    const qint64 id = fuente_->ultimoId();
    if (id <= ultimoId_ && total_ > 0)
        return;   // nothing new
    if (total_ == 0)
        primerId_ = id;
    else if (id != ultimoId_ + 1)
        contiguo_ = false;
    ultimoId_ = id;
    const int r = int(total_);
    beginInsertRows({}, r, r);
    ++total_;
    // The page that holds the new row is read again when shown.
    paginas_.remove(r / kFilasPorPagina);
    endInsertRows();
}

void ModeloTabla::crecer()
{
    const qint64 nuevo = fuente_->contar();
    if (nuevo <= total_)
        return;
    beginInsertRows({}, int(qMin<qint64>(total_, std::numeric_limits<int>::max())),
                    int(qMin<qint64>(nuevo - 1, std::numeric_limits<int>::max())));
    // The last page held may have been short.
    paginas_.remove(total_ / kFilasPorPagina);
    if (total_ == 0)
        primerId_ = fuente_->primerId();
    total_ = nuevo;
    endInsertRows();
}

int ModeloTabla::rowCount(const QModelIndex& padre) const
{
    return padre.isValid() ? 0 : int(qMin<qint64>(total_, std::numeric_limits<int>::max()));
}

int ModeloTabla::columnCount(const QModelIndex& padre) const { return padre.isValid() ? 0 : fuente_->columnas(); }

const FilaDatos* ModeloTabla::fila(int r) const
{
    const qint64 p = r / kFilasPorPagina;
    auto it = paginas_.find(p);
    if (it == paginas_.end()) {
        if (paginas_.size() > 64)
            paginas_.clear();
        const qint64 salto = p * kFilasPorPagina;
        QVector<FilaDatos> filas = contiguo_ ? fuente_->desdeId(primerId_ + salto, kFilasPorPagina)
                                             : fuente_->desdeFila(salto, kFilasPorPagina);
        ++paginasLeidas_;
        it = paginas_.insert(p, std::move(filas));
    }
    const int k = r % kFilasPorPagina;
    return k < it->size() ? &it->at(k) : nullptr;
}

QVariant ModeloTabla::data(const QModelIndex& i, int rol) const
{
    if (!i.isValid() || (rol != Qt::DisplayRole && rol != Qt::EditRole))
        return {};
    const FilaDatos* f = fila(i.row());
    if (!f)
        return {};
    if (i.column() == 0)
        return f->id;
    const int k = i.column() - 1;
    return k < f->textos.size() ? QVariant(f->textos[k]) : QVariant();
}

QVariant ModeloTabla::headerData(int s, Qt::Orientation o, int rol) const
{
    if (rol != Qt::DisplayRole)
        return {};
    if (o == Qt::Horizontal)
        return s >= 0 && s < titulos_.size() ? QVariant(titulos_[s]) : QVariant();
    return s + 1;
}

Qt::ItemFlags ModeloTabla::flags(const QModelIndex& i) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(i);
    if (!soloLectura_ && i.isValid() && i.column() > 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool ModeloTabla::setData(const QModelIndex& i, const QVariant& v, int rol)
{
    if (soloLectura_ || rol != Qt::EditRole || !i.isValid() || i.column() == 0)
        return false;
    const FilaDatos* f = fila(i.row());
    if (!f)
        return false;
    QString error;
    const QString texto = v.toString();
    if (!fuente_->actualizar(f->id, i.column(), texto, &error)) {
        dialogos().mensaje(QString(), error, Icono::Ninguno, Botones::Ok);
        return false;
    }
    if (const auto* c = dynamic_cast<const ConsultasInstrumento*>(fuente_.get()))
        anotarFilaEditada(c->instrumento(), f->id, headerData(i.column(), Qt::Horizontal).toString(), f->textos[i.column() - 1], texto);
    const_cast<FilaDatos*>(f)->textos[i.column() - 1] = texto;
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

} // namespace ombrix
