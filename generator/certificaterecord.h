#pragma once

#include <QString>

// The nine text fields of one certificate, in column order of the data file
// and placeholder order of the templates. Values are kept exactly as the
// spreadsheet displays them.
struct CertificateRecord
{
    QString zhengshuhao;       // 证书号
    QString zhengshuyouxiaoqi; // 证书有效期
    QString danweimingcheng;   // 单位名称
    QString zongzhiyewufanwei; // 宗旨和业务范围
    QString zhusuo;            // 住所
    QString fadingdaibiaoren;  // 法定代表人
    QString jingfeilaiyuan;    // 经费来源
    QString kaibanzijin;       // 开办资金
    QString jubandanwei;       // 举办单位
};
