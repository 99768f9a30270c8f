// The embedded statement texts: counts, exact bytes of the fixed statements, and the shape
// of the catalogue step by step.
#include "core/statements.h"

#include <gtest/gtest.h>

#include <string>

namespace tessary::statements {
namespace {

std::string bytes(std::initializer_list<unsigned char> values) {
    return std::string(values.begin(), values.end());
}

std::string at(const StatementList& list, std::size_t i) {
    return std::string(list[i]);
}

TEST(Statements, EachBatchHasItsNumberOfStatements) {
    EXPECT_EQ(batch_00000000.size(), 5u);
    EXPECT_EQ(batch_20140722.size(), 6u);
    EXPECT_EQ(batch_20150825.size(), 30u);
    EXPECT_EQ(batch_20200117_menus.size(), 4u);
    EXPECT_EQ(batch_20200117_version.size(), 1u);
    EXPECT_EQ(batch_20200117_grant.size(), 1u);
    EXPECT_EQ(catalogue_200327.size(), 144u);
}

TEST(Statements, FixedStatementsKeepTheirExactBlanks) {
    EXPECT_EQ(
        at(batch_00000000, 3),
        "update t_sys_system set sys_var_value ='20140722' where sys_var_id ='UPGRADE_DATE' ");
    EXPECT_EQ(at(batch_00000000, 4),
              "update t_sys_system set sys_var_value ='V8 20140722' where sys_var_id "
              "='DataBase_Version' ");
    EXPECT_EQ(at(batch_20140722, 0),
              "alter table t_rm_saleflow add  maf_price_memo  varchar(60) null");
    EXPECT_EQ(at(batch_20140722, 1),
              "alter table t_rm_saleflow add  maf_add_price   numeric(16,4) null");
    EXPECT_EQ(at(batch_20140722, 2), "alter table t_rm_saleflow add  flowno_rand    char(14) null");
    EXPECT_EQ(at(batch_20150825, 6), "alter table t_bd_branch_info add daysum_date datetime  null");
    EXPECT_EQ(at(batch_20150825, 2),
              "alter table t_sys_operator add group_id varchar(4)default('') null");
    EXPECT_EQ(
        at(batch_20150825, 29),
        "update t_sys_system set sys_var_value ='20200117' where sys_var_id ='UPGRADE_DATE' ");
    EXPECT_EQ(at(batch_20200117_version, 0),
              "update t_sys_system set sys_var_value ='V8 20191014' where sys_var_id "
              "='DataBase_Version' ");
    EXPECT_EQ(at(batch_20200117_grant, 0),
              "insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , "
              "'0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '' from t_sys_oper_grant , "
              "t_sys_menu where t_sys_menu.menu_id not in ( select func_id from t_sys_oper_grant ) "
              "and right ( t_sys_menu.menu_id , 2 ) <> '00' and ltrim ( rtrim ( "
              "t_sys_menu.menu_name ) ) <> '-' and left ( t_sys_menu.menu_id , 1 ) not in ( 'E' , "
              "'F' ) COMMIT ");
}

// The Chinese texts reach the database as GBK bytes, checked here byte by byte.
TEST(Statements, ChineseTextsAreSentAsGbkBytes) {
    const std::string payment = at(batch_20150825, 0);
    const std::string wallet = bytes({0xc1, 0xe3, 0xc7, 0xae, 0xb0, 0xfc, 0xd6, 0xa7, 0xb8, 0xb6});
    EXPECT_EQ(payment, "insert into t_bd_payment_info values ( 'LEP' , '0' , '" + wallet +
                           "' , 1 , 0 , null , '1' , '" +
                           bytes({0xcf, 0xb5, 0xcd, 0xb3, 0xc4, 0xac, 0xc8, 0xcf}) + "' ) ");

    EXPECT_EQ(
        at(batch_20150825, 8),
        "insert into t_sys_menu values ( '6211' , '" +
            bytes({0xb4, 0xa2, 0xd6, 0xb5, 0xbf, 0xa8, 0xd3, 0xe0, 0xb6, 0xee, 0xb2, 0xe9, 0xd1,
                   0xaf}) +
            "' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , "
            "'0' , NULL ) ");
    EXPECT_EQ(
        at(batch_20200117_menus, 0),
        "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , "
        "open_parameter , branch_flag , normal_flag , flag1 , flag2 , flag3 , memo ) values ( "
        "'6215' , '" +
            bytes({0xce, 0xa2, 0xc9, 0xcc, 0xb5, 0xea, 0xb9, 0xdc, 0xc0, 0xed}) +
            "' , '' , 'BROW' , 'S' , NULL , '110000' , '0' , '0' , '0' , '0' , NULL ) ");
    EXPECT_EQ(at(catalogue_200327, 142),
              "insert into t_sys_menu values ( '1222' , '" +
                  bytes({0xc5, 0xfa, 0xc1, 0xbf, 0xd0, 0xde, 0xb8, 0xc4, 0xc9, 0xcc, 0xc6, 0xb7,
                         0xd0, 0xc5, 0xcf, 0xa2}) +
                  "' , 'w_bd_itempro_batch' , 'EDIT' , 'S' , null , '110000' , '0' , '0' , '0' , "
                  "'0' , '' )");
}

TEST(Statements, MenuRowsOfTheBatches) {
    EXPECT_EQ(
        at(batch_20150825, 14),
        "insert into t_sys_menu values ( '4120' , '移动支付设置' , 'w_sys_setup_pay' , 'OTHR' , "
        "'R' , null , '110000' , '0' , '0' , '0' , '0' , '' ) ");
    EXPECT_EQ(
        at(batch_20150825, 27),
        "insert into t_sys_menu values ( '6212' , '储值充值方案' , 'w_vip_saving_favor' , 'BROW' "
        ", 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL ) ");
    const std::string named =
        "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , "
        "open_type , open_parameter , branch_flag , normal_flag , flag1 , "
        "flag2 , flag3 , memo ) values ( ";
    EXPECT_EQ(at(batch_20200117_menus, 1),
              named +
                  "'6216' , '微订单业务设置' , 'w_wx_order_setup' , 'OTHR' , 'R' , NULL , "
                  "'110000' , '0' , '0' , '0' , '0' , NULL ) ");
    EXPECT_EQ(at(batch_20200117_menus, 2),
              named +
                  "'6217' , '微订单查询' , 'w_wx_order_bill_querylist' , 'BROW' , 'S' , NULL , "
                  "'110000' , '0' , '0' , '0' , '0' , NULL ) ");
    EXPECT_EQ(at(batch_20200117_menus, 3),
              named +
                  "'1227' , '微商店多规格商品设置' , 'w_bd_gg_form' , 'EDIT' , 'S' , NULL , "
                  "'110000' , '0' , '0' , '0' , '0' , NULL ) ");
}

TEST(Statements, KeysAndDefaultsOfTheBatches) {
    EXPECT_EQ(
        at(batch_00000000, 1),
        "ALTER TABLE [dbo].[t_cm_sys_oper_grant] WITH NOCHECK ADD CONSTRAINT "
        "[pk_t_cm_sys_oper_grant] PRIMARY KEY CLUSTERED ( [oper_id], [func_id] ) ON [PRIMARY]");
    EXPECT_EQ(at(batch_20150825, 13),
              "ALTER TABLE [dbo].[t_rm_mobile_paylog] WITH NOCHECK ADD PRIMARY KEY CLUSTERED ( "
              "[com_no] ) ON [PRIMARY]");
    EXPECT_EQ(at(batch_20150825, 20),
              "ALTER TABLE [dbo].[mess_t_wx_send] ADD CONSTRAINT [pk_mess_t_wx_send] PRIMARY KEY "
              "NONCLUSTERED ( [flow_id] ) ON [PRIMARY]");
    const std::string defaults = at(batch_00000000, 2);
    EXPECT_EQ(defaults.rfind("ALTER TABLE [dbo].[t_cm_sys_oper_grant] ADD ", 0), 0u);
    EXPECT_NE(
        defaults.find("CONSTRAINT [DF__t_cm_sys_oper_grant__0F78F03F] DEFAULT ('0') FOR [grant0],"),
        std::string::npos);
    EXPECT_NE(
        defaults.find("CONSTRAINT [DF__t_cm_sys_oper_grant__180E3640] DEFAULT ('0') FOR [grant9]"),
        std::string::npos);
}

// Step numbers of the catalogue, counted from 1: the tables, each key directly after its
// table, the added columns, and the one fixed insert.
TEST(Statements, CatalogueStepsInTheirPlaces) {
    struct TableStep {
        std::size_t step;
        const char* table;
        bool keyed;
    };
    const TableStep tables[] = {
        {1, "t_order_bill_weixin", true},      {3, "t_order_bill_delivery", true},
        {44, "wxsf_vip_info", false},          {45, "t_wx_vip_bindflow", true},
        {61, "t_bd_item_multi_unit", true},    {65, "wxsf_member_save_list", false},
        {66, "wxsf_gift_cert_item", true},     {68, "wxsf_gift_certificate_flow", true},
        {92, "t_rm_vip_subaccount", true},     {94, "t_wx_order_bill", true},
        {96, "wxsf_order_master", true},       {98, "wxsf_order_detail", true},
        {100, "t_vip_mk_plain_master", true},  {102, "t_vip_mk_plain_detail", true},
        {104, "wxsf_vip_sale_evaluate", true}, {106, "wxsf_vip_sale_evaluate_item", true},
        {125, "t_wxsf_pay_list", false},       {126, "t_wx_lottery_draw_info", true},
        {128, "t_wx_relevance_info", true},    {130, "t_wx_shop_info", true},
        {132, "t_wx_vip_info", true},          {134, "t_wx_branch_info", true},
        {136, "t_wx_item_cls", true},          {138, "t_wx_item_info", true},
        {140, "t_wx_promotion", true},
    };
    std::size_t creations = 0, keys = 0, columns = 0;
    for (std::size_t step = 1; step <= catalogue_200327.size(); ++step) {
        const std::string text = at(catalogue_200327, step - 1);
        if (text.rfind("CREATE TABLE [dbo].[", 0) == 0) {
            ++creations;
        } else if (text.find("PRIMARY KEY  CLUSTERED") != std::string::npos) {
            ++keys;
        } else if (text.rfind("alter table ", 0) == 0) {
            ++columns;
        }
    }
    EXPECT_EQ(creations, 25u);
    EXPECT_EQ(keys, 22u);
    EXPECT_EQ(columns, 96u);

    for (const auto& table : tables) {
        SCOPED_TRACE(table.table);
        const std::string creation = at(catalogue_200327, table.step - 1);
        EXPECT_EQ(creation.rfind(std::string("CREATE TABLE [dbo].[") + table.table + "] (", 0), 0u);
        const std::string next = at(catalogue_200327, table.step);
        const bool key_follows =
            next.rfind(std::string("ALTER TABLE [dbo].[") + table.table + "] WITH NOCHECK ADD ",
                       0) == 0;
        EXPECT_EQ(key_follows, table.keyed);
    }
    EXPECT_EQ(at(catalogue_200327, 92),
              "ALTER TABLE [dbo].[t_rm_vip_subaccount] WITH NOCHECK ADD \n"
              "\tCONSTRAINT [pk_rm_vip_subaccount] PRIMARY KEY  CLUSTERED \n"
              "\t(\n\t\t[flow_id]\n\t)  ON [PRIMARY] ");
    EXPECT_EQ(at(catalogue_200327, 4),
              "alter table t_bd_item_info add cm_flag char(1) default '0' null");
    EXPECT_EQ(at(catalogue_200327, 143),
              "alter table t_bd_item_info add en_gift char(1) default '0' null");
}

TEST(Statements, CatalogueTablesSeparateColumnsByBlankCommaAndTab) {
    const std::string promotion = at(catalogue_200327, 139);
    EXPECT_EQ(promotion.rfind("CREATE TABLE [dbo].[t_wx_promotion] (\n"
                              "\t[flowid] [int] IDENTITY (1, 1) NOT NULL ,\n"
                              "\t[sdate] [datetime] NOT NULL ,\n",
                              0),
              0u);
    EXPECT_NE(promotion.find("\t[shelf_status] [char] (1) DEFAULT ('0') NULL ,\n"),
              std::string::npos);
    EXPECT_NE(promotion.find(
                  "\t[net_flow] [decimal](18, 0) NULL \n) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]"),
              std::string::npos);
    const std::string gift_items = at(catalogue_200327, 65);
    EXPECT_NE(gift_items.find("\t[flow_no] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tessary::statements
