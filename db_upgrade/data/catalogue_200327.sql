CREATE TABLE [dbo].[t_order_bill_weixin] (
	[flow_id] [int] IDENTITY (1, 1) NOT NULL ,
	[sheet_no] [nvarchar] (50) NULL ,
	[orderman] [nvarchar] (50) NULL ,
	[ordertel] [nvarchar] (50) NULL ,
	[item_no] [nvarchar] (50) NULL ,
	[item_size] [nvarchar] (50) NULL ,
	[price] [numeric](16, 4) NULL ,
	[oper_date] [datetime] NULL ,
	[real_qty] [numeric](16, 4) NULL ,
	[openid] [nvarchar] (50) NULL ,
	[branch_no] [nvarchar] (50) NULL ,
	[shopid] [nvarchar] (50) NULL ,
	[IsDownload] [char] (1) NULL ,
	[branch_name] [varchar] (50) NULL ,
	[item_name] [varchar] (50) NULL ,
	[unit_name] [varchar] (20) NULL ,
	[address] [varchar] (200) NULL ,
	[type_name] [varchar] (30) NULL ,
	[ver] [nvarchar] (50) NULL ,
	[pay_type] [nvarchar] (50) NULL ,
	[deal_type] [nvarchar] (50) NULL ,
	[card_id] [nvarchar] (50) NULL ,
	[paystatus] [nvarchar] (50) NULL ,
	[status_upflag] [nvarchar] (1) NULL ,
	[memo] [nvarchar] (255) NULL ,
	[dealtime] [datetime] NULL ,
	[newmodel] [char] (1) DEFAULT ('0') NULL ,
	[other_express_company_name] [varchar] (200) NULL ,
	[other_express_no] [varchar] (100) NULL ,
	[express_company] [bigint] NULL ,
	[delivery_man] [bigint] NULL ,
	[delivery_man_name] [varchar] (100) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_order_bill_weixin] WITH NOCHECK ADD 
	CONSTRAINT [PK_t_order_bill_weixin] PRIMARY KEY  CLUSTERED 
	(
		[flow_id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_order_bill_delivery] (
	[sheet_no] [nvarchar] (100) NOT NULL ,
	[other_express_company_name] [varchar] (200) NULL ,
	[other_express_no] [varchar] (100) NULL ,
	[express_company] [bigint] NULL ,
	[delivery_man] [bigint] NULL ,
	[delivery_man_name] [varchar] (100) NULL ,
	[delivery_type] [int] NOT NULL ,
	[deliverFee] [numeric](16, 4) NULL ,
	[deliver_weight] [numeric](16, 4) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_order_bill_delivery] WITH NOCHECK ADD 
	CONSTRAINT [pk_od_bill_deliver] PRIMARY KEY  CLUSTERED 
	(
		[sheet_no]
	)  ON [PRIMARY] 
GO
alter table t_bd_item_info add cm_flag char(1) default '0' null
GO
alter table t_rm_vip_info add father_card_id varchar(20) null
GO
alter table t_rm_vip_info add vip_credentials char(2) null
GO
alter table t_rm_vip_info add vip_work char(2) null
GO
alter table t_rm_vip_info add vip_intent char(2) null
GO
alter table t_rm_vip_info add pur_hobbies varchar(255) null
GO
alter table t_rm_vip_info add characteristics varchar(255) null
GO
alter table t_rm_vip_info add vip_trade char(1) null
GO
alter table t_rm_vip_info add vip_rem varchar(20) null
GO
alter table t_rm_vip_info add oper_id_make char(4) null
GO
alter table t_rm_vip_info add oper_date_make datetime null
GO
alter table t_rm_vip_info add oper_date_gi datetime null
GO
alter table t_rm_vip_info add oper_id_gi char(4) null
GO
alter table t_rm_vip_info add is_makecard char(1) null
GO
alter table t_rm_vip_info add saledate_one datetime null
GO
alter table t_rm_vip_info add saledate_two datetime null
GO
alter table t_rm_vip_info add saledate_three datetime null
GO
alter table t_rm_vip_info add saledate_last datetime null
GO
alter table t_rm_vip_info add send_sav_rate numeric(16,4) null
GO
alter table t_rm_vip_info add modify_oper_id varchar(4) null
GO
alter table t_rm_vip_info add modify_operbranch varchar(6) null
GO
alter table t_rm_vip_info add n_saleman varchar(6) null
GO
alter table t_rm_vip_info add saledate_for datetime null
GO
alter table t_rm_vip_info add saleone_flowno varchar(20) null
GO
alter table t_rm_vip_info add saletwo_flowno varchar(20) null
GO
alter table t_rm_vip_info add salethree_flowno varchar(20) null
GO
alter table t_rm_vip_info add salefour_flowno varchar(20) null
GO
alter table t_rm_vip_info add send_year varchar(4) null
GO
alter table t_rm_vip_info add new_flag varchar(1) null
GO
alter table t_rm_vip_info add face_id varchar(60) null
GO
alter table t_rm_vip_info add wx_face_id varchar(50) null
GO
alter table t_rm_vip_info add ali_face_id varchar(50) null
GO
alter table t_rm_vip_info add face_memo1 varchar(50) null
GO
alter table t_rm_vip_info add face_memo2 varchar(50) null
GO
alter table t_rm_vip_type add use_itemcls varchar(255) null
GO
alter table t_rm_vip_type add min_consumeamt_year numeric(16,4) default 0 null
GO
alter table t_rm_vip_type add sav_orgi char(1) null
GO
alter table t_rm_vip_type add need_recharge_amt numeric(16,4) default 0 null
GO
alter table t_rm_vip_type add unbind_online char(1) default '0' null
GO
CREATE TABLE [dbo].[wxsf_vip_info] (
	[Id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[flow_no] [nvarchar] (100) NOT NULL ,
	[shopid] [nvarchar] (50) NULL ,
	[openid] [nvarchar] (50) NULL ,
	[branch_no] [nvarchar] (50) NULL ,
	[card_id] [nvarchar] (50) NULL ,
	[vip_name] [nvarchar] (50) NULL ,
	[birthday] [nvarchar] (50) NULL ,
	[vip_sex] [nvarchar] (50) NULL ,
	[card_type] [nvarchar] (50) NULL ,
	[type_no] [nvarchar] (50) NULL ,
	[oper_date] [nvarchar] (50) NULL ,
	[card_status] [nvarchar] (50) NULL ,
	[acc_num] [numeric](18, 4) NULL ,
	[dec_num] [numeric](18, 4) NULL ,
	[now_acc_num] [numeric](18, 4) NULL ,
	[vip_pass] [nvarchar] (50) NULL ,
	[vip_start_date] [datetime] NULL ,
	[vip_end_date] [datetime] NULL ,
	[mobile] [nvarchar] (50) NULL ,
	[email] [nvarchar] (50) NULL ,
	[favourableinfo] [nvarchar] (50) NULL ,
	[vippic] [nvarchar] (100) NULL ,
	[subscribe] [char] (1) NULL ,
	[oper_type] [char] (1) DEFAULT ('0') NOT NULL ,
	[is_proc] [char] (1) DEFAULT ('0') NOT NULL ,
	[father_card] [nvarchar] (50) NULL ,
	[social_id] [nvarchar] (18) NULL ,
	[oper_id] [nvarchar] (10) NULL ,
	[vip_add] [nvarchar] (80) NULL ,
	[vip_clsno] [varchar] (10) NULL 
) ON [PRIMARY]
GO
CREATE TABLE [dbo].[t_wx_vip_bindflow] (
	[flow_id] [numeric](16, 0) IDENTITY (1, 1) NOT NULL ,
	[card_id] [varchar] (20) NOT NULL ,
	[openid] [varchar] (50) NOT NULL ,
	[shopid] [varchar] (20) NOT NULL ,
	[oper_date] [datetime] NULL ,
	[bindtype] [varchar] (10) NULL ,
	[wx_flow_id] [numeric](16, 0) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_vip_bindflow] WITH NOCHECK ADD 
	CONSTRAINT [pk_wx_vip_bindflow] PRIMARY KEY  CLUSTERED 
	(
		[flow_id]
	)  ON [PRIMARY] 
GO
alter table t_rm_saleflow add plan_no varchar(20) null
GO
alter table t_rm_saleflow add Ranking_no varchar(10) null
GO
alter table t_rm_saleflow add suit_flag char(1) null
GO
alter table t_rm_saleflow add suit_no smallint null
GO
alter table t_rm_saleflow add suit_item_no varchar(20) null
GO
alter table t_rm_saleflow add wx_no varchar(30) null
GO
alter table t_rm_saleflow add jc_flag char(1) null
GO
alter table t_rm_saleflow add jc_qty numeric(16,4) null
GO
alter table t_rm_saleflow add vmplan_no varchar(20) null
GO
alter table t_rm_saleflow add vip_saleman varchar(6) null
GO
alter table t_rm_saleflow add tko_no varchar(20) null
GO
alter table t_rm_saleflow add kz_flag char(1) default '1' null
GO
alter table t_rm_saleflow add update_date datetime default getdate() null
GO
alter table t_rm_saleflow add kz_mobile varchar(20) null
GO
CREATE TABLE [dbo].[t_bd_item_multi_unit] (
	[unit_id] [char] (3) NOT NULL ,
	[unit_name] [varchar] (40) NOT NULL ,
	[item_no] [varchar] (30) NOT NULL ,
	[item_unit] [varchar] (50) NOT NULL ,
	[memo] [varchar] (100) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_bd_item_multi_unit] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[unit_id],
		[item_no]
	)  ON [PRIMARY] 
GO
alter table t_rm_vip_good add com_flag char(1) default '0' not null
GO
alter table t_rm_vip_good add vg_limit_num int default 0 null
GO
CREATE TABLE [dbo].[wxsf_member_save_list] (
	[flow_id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[flow_no] [nvarchar] (100) NOT NULL ,
	[card_id] [nvarchar] (100) NOT NULL ,
	[oper_type] [char] (1) DEFAULT ('0') NOT NULL ,
	[oper_date] [datetime] NOT NULL ,
	[amt] [numeric](16, 4) DEFAULT (0) NOT NULL ,
	[wx_flow_no] [nvarchar] (100) NOT NULL ,
	[branch_no] [nvarchar] (50) NULL ,
	[is_proc] [char] (1) DEFAULT ('0') NOT NULL ,
	[receipt_amt] [numeric](16, 4) NULL ,
	[pay_way] [varchar] (3) NULL ,
	[subaccount_id] [numeric](16, 0) NULL 
) ON [PRIMARY]
GO
CREATE TABLE [dbo].[wxsf_gift_cert_item] (
	[Id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[flow_no] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,
	[item_no] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,
	[qty] [numeric](18, 4) NULL ,
	[amount] [numeric](18, 4) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[wxsf_gift_cert_item] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[Id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[wxsf_gift_certificate_flow] (
	[giftcert_no] [char] (20) NOT NULL ,
	[gift_money] [numeric](18, 2) NULL ,
	[oper_id] [char] (6) NULL ,
	[oper_date] [datetime] NULL ,
	[begin_date] [datetime] NULL ,
	[end_date] [datetime] NULL ,
	[card_id] [varchar] (20) NULL ,
	[memo] [varchar] (255) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[wxsf_gift_certificate_flow] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[giftcert_no]
	)  ON [PRIMARY] 
GO
alter table t_rm_vip_savelist add pre_amt numeric(16,4) default 0 null
GO
alter table t_rm_vip_savelist add send_sav_rate numeric(16,4) default 0 null
GO
alter table t_rm_vip_savelist add sale_man varchar(10) null
GO
alter table t_rm_vip_savelist add pay_return_no varchar(50) null
GO
alter table t_rm_vip_savelist add inverse_flag varchar(1) null
GO
alter table t_rm_vip_savelist add specsav_flag varchar(1) default '0' null
GO
alter table t_rm_vip_savelist add Memo2 varchar(100) null
GO
alter table t_rm_gift_certificate add qi_flag char(1) default '0' null
GO
alter table t_rm_gift_certificate add qo_flag char(1) default '0' null
GO
alter table t_rm_gift_certificate add qs_flag char(1) default '0' null
GO
alter table t_rm_gift_certificate add memo varchar(255) null
GO
alter table t_rm_gift_certificate add card_id varchar(20) null
GO
alter table t_rm_gift_certificate add vmplan_no varchar(20) null
GO
alter table t_rm_gift_certificate add sale_flow_no varchar(30) null
GO
alter table t_rm_gift_certificate add memo1 char(255) null
GO
alter table t_rm_gift_certificate add password varchar(8) null
GO
alter table t_rm_gift_certificate add gift_flag varchar(1) null
GO
alter table t_rm_gift_certificate add savelist_flowno varchar(20) null
GO
alter table t_rm_gift_certificate add bag_no varchar(20) null
GO
alter table t_rm_vip_acclist add pre_acc numeric(16,4) default 0 null
GO
alter table t_rm_vip_acclist add clear_num numeric(16,4) default 0 null
GO
alter table t_rm_vip_acclist add savelist_flowno varchar(20) null
GO
CREATE TABLE [dbo].[t_rm_vip_subaccount] (
	[flow_id] [numeric](16, 0) IDENTITY (1, 1) NOT NULL ,
	[card_id] [varchar] (20) NOT NULL ,
	[account_type] [char] (1) NOT NULL ,
	[denomination] [numeric](16, 4) NULL ,
	[acc_num] [numeric](16, 4) NULL ,
	[dec_num] [numeric](16, 4) NULL ,
	[begin_date] [datetime] NULL ,
	[end_date] [datetime] NULL ,
	[valid_flag] [char] (1) NULL ,
	[memo] [varchar] (60) NULL ,
	[last_num] [numeric](16, 4) NULL ,
	[last_date] [datetime] NULL ,
	[oper_date] [datetime] NULL ,
	[vmplan_no] [varchar] (20) NULL ,
	[savelist_flowno] [varchar] (20) NULL ,
	[check_cls] [varchar] (255) NULL ,
	[limit_type] [char] (1) DEFAULT ('C') NOT NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_rm_vip_subaccount] WITH NOCHECK ADD 
	CONSTRAINT [pk_rm_vip_subaccount] PRIMARY KEY  CLUSTERED 
	(
		[flow_id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_order_bill] (
	[flow_id] [int] IDENTITY (1, 1) NOT NULL ,
	[sheet_no] [nvarchar] (50) NULL ,
	[orderman] [nvarchar] (50) NULL ,
	[ordertel] [nvarchar] (50) NULL ,
	[item_no] [nvarchar] (50) NULL ,
	[item_size] [nvarchar] (50) NULL ,
	[price] [numeric](16, 4) NULL ,
	[oper_date] [datetime] NULL ,
	[real_qty] [numeric](16, 4) NULL ,
	[openid] [nvarchar] (50) NULL ,
	[branch_no] [nvarchar] (50) NULL ,
	[shopid] [nvarchar] (50) NULL ,
	[IsDownload] [char] (1) NULL ,
	[branch_name] [varchar] (50) NULL ,
	[item_name] [varchar] (50) NULL ,
	[unit_name] [varchar] (20) NULL ,
	[address] [varchar] (200) NULL ,
	[type_name] [varchar] (30) NULL ,
	[ver] [nvarchar] (50) NULL ,
	[pay_type] [nvarchar] (50) NULL ,
	[deal_type] [nvarchar] (50) NULL ,
	[card_id] [nvarchar] (50) NULL ,
	[paystatus] [nvarchar] (50) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_order_bill] WITH NOCHECK ADD 
	CONSTRAINT [PK_t_wx_order_bill] PRIMARY KEY  CLUSTERED 
	(
		[flow_id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[wxsf_order_master] (
	[Id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[shopid] [nvarchar] (50) NULL ,
	[openid] [nvarchar] (50) NULL ,
	[orderno] [nvarchar] (50) NULL ,
	[orderman] [nvarchar] (50) NULL ,
	[branch_no] [nvarchar] (50) NULL ,
	[branch_name] [nvarchar] (50) NULL ,
	[ordertel] [nvarchar] (50) NULL ,
	[tot_amt] [numeric](18, 4) NULL ,
	[total_dav] [numeric](18, 4) NULL ,
	[total_express] [numeric](18, 4) NULL ,
	[total] [numeric](18, 4) NULL ,
	[orderfrom] [char] (1) NULL ,
	[pay_type] [char] (1) NULL ,
	[deal_type] [varchar] (50) NULL ,
	[operdate] [datetime] NULL ,
	[type_name] [nvarchar] (50) NULL ,
	[dogflag] [char] (1) NULL ,
	[address] [nvarchar] (50) NULL ,
	[status] [varchar] (50) NULL ,
	[card_id] [nvarchar] (50) NULL ,
	[paystatus] [nvarchar] (50) NULL ,
	[is_proc] [char] (1) DEFAULT ('0') NOT NULL ,
	[memo] [nvarchar] (255) NULL ,
	[dealtime] [datetime] NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[wxsf_order_master] WITH NOCHECK ADD 
	CONSTRAINT [pk_wxsf_order_master_id] PRIMARY KEY  CLUSTERED 
	(
		[Id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[wxsf_order_detail] (
	[Id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[shopid] [nvarchar] (50) NULL ,
	[openid] [nvarchar] (50) NULL ,
	[orderno] [nvarchar] (50) NULL ,
	[itemno] [nvarchar] (50) NULL ,
	[item_name] [nvarchar] (50) NULL ,
	[ordernum] [numeric](18, 4) NULL ,
	[item_unit] [nvarchar] (50) NULL ,
	[item_spec] [nvarchar] (50) NULL ,
	[saleprice] [numeric](18, 4) NULL ,
	[oldprice] [numeric](18, 4) NULL ,
	[newmodel] [char] (1) DEFAULT ('0') NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[wxsf_order_detail] WITH NOCHECK ADD 
	CONSTRAINT [pk_wxsf_order_detail_id] PRIMARY KEY  CLUSTERED 
	(
		[Id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_vip_mk_plain_master] (
	[plan_no] [varchar] (20) NOT NULL ,
	[plan_name] [varchar] (50) NOT NULL ,
	[plan_memo] [varchar] (200) NULL ,
	[sheet_type] [char] (1) NOT NULL ,
	[oper_date] [datetime] NOT NULL ,
	[oper_id] [varchar] (6) NULL ,
	[work_date] [datetime] NULL ,
	[confirm_man] [varchar] (6) NULL ,
	[approve_flag] [varchar] (1) NOT NULL ,
	[card_type] [varchar] (2) NULL ,
	[begin_date] [datetime] NULL ,
	[end_date] [datetime] NULL ,
	[is_type] [char] (1) NULL ,
	[birth_min] [int] NULL ,
	[birth_max] [int] NULL ,
	[is_birth] [int] NULL ,
	[befor_day] [int] NULL ,
	[branch_no] [varchar] (6) DEFAULT ('ALL') NULL ,
	[buy_nums] [varchar] (1) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_vip_mk_plain_master] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[plan_no]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_vip_mk_plain_detail] (
	[flow_id] [numeric](14, 0) IDENTITY (1, 1) NOT NULL ,
	[plan_no] [varchar] (20) NOT NULL ,
	[send_type] [char] (1) NULL ,
	[gift_type] [varchar] (4) NULL ,
	[gift_num] [int] NULL ,
	[gift_amt] [decimal](16, 4) NOT NULL ,
	[valid_day] [int] NULL ,
	[start_day] [int] NULL ,
	[valid_day_mode] [varchar] (1) DEFAULT (0) NOT NULL ,
	[valid_begin_date] [datetime] NULL ,
	[valid_end_date] [datetime] NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_vip_mk_plain_detail] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[flow_id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[wxsf_vip_sale_evaluate] (
	[id] [numeric](18, 0) IDENTITY (1, 1) NOT NULL ,
	[shopid] [varchar] (50) NOT NULL ,
	[openid] [varchar] (50) NULL ,
	[orderno] [varchar] (50) NOT NULL ,
	[branch_no] [varchar] (6) NULL ,
	[order_date] [datetime] NULL ,
	[sale_man] [varchar] (6) NULL ,
	[adultscontent] [varchar] (255) NULL ,
	[oper_date] [datetime] NULL ,
	[oper_man] [varchar] (50) NULL ,
	[doflag] [char] (1) NULL ,
	[opertel] [varchar] (20) NULL ,
	[score_sve] [smallint] NULL ,
	[score_env] [smallint] NULL ,
	[isreply] [char] (1) NULL ,
	[iseval] [char] (1) DEFAULT ('0') NULL ,
	[memo] [varchar] (200) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[wxsf_vip_sale_evaluate] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[wxsf_vip_sale_evaluate_item] (
	[id] [numeric](18, 0) IDENTITY (1, 1) NOT NULL ,
	[shopid] [varchar] (50) NOT NULL ,
	[openid] [varchar] (50) NULL ,
	[orderno] [varchar] (50) NOT NULL ,
	[branch_no] [varchar] (6) NULL ,
	[order_date] [datetime] NULL ,
	[sale_man] [varchar] (6) NULL ,
	[item_no] [varchar] (50) NULL ,
	[adultscontent] [varchar] (255) NULL ,
	[oper_date] [datetime] NULL ,
	[oper_man] [varchar] (50) NULL ,
	[doflag] [char] (1) NULL ,
	[opertel] [varchar] (20) NULL ,
	[score] [smallint] NULL ,
	[isreply] [char] (1) NULL ,
	[memo] [varchar] (200) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[wxsf_vip_sale_evaluate_item] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[id]
	)  ON [PRIMARY] 
GO
alter table t_rm_gift_cls add consume_amt numeric(16,4) default 0 null
GO
alter table t_rm_gift_cls add gift_range char(255) null
GO
alter table t_rm_gift_cls add gift_cond char(1) null
GO
alter table t_rm_gift_cls add not_giftflag char(1) null
GO
alter table t_rm_gift_cls add manager_qi varchar(1) null
GO
alter table t_rm_gift_cls add manager_qo varchar(1) null
GO
alter table t_rm_gift_cls add manager_qs varchar(1) null
GO
alter table t_rm_gift_cls add gift_flag varchar(1) null
GO
alter table t_rm_gift_cls add not_promotion_item varchar(1) null
GO
alter table t_rm_gift_cls add iorgi_flag char(1) null
GO
alter table t_rm_gift_cls add vipsale_ispv char(1) null
GO
alter table t_rm_gift_cls add keep_send_lqorgift char(1) default '0' not null
GO
alter table t_rm_gift_cls add everyday_usernum int null
GO
alter table t_sys_system add branch_no varchar(6) default '000' not null
GO
alter table t_sys_system add oper_id varchar(4) default '1001' null
GO
alter table t_sys_system add window_name varchar(100) null
GO
alter table t_sys_system add vch_file varchar(800) null
GO
CREATE TABLE [dbo].[t_wxsf_pay_list] (
	[orderno] [varchar] (40) NULL ,
	[paymodename] [varchar] (20) NULL ,
	[paymode] [char] (3) NULL ,
	[amount] [numeric](16, 4) NULL ,
	[remark] [varchar] (200) NULL 
) ON [PRIMARY]
GO
CREATE TABLE [dbo].[t_wx_lottery_draw_info] (
	[flow_id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[Id] [bigint] NOT NULL ,
	[shopid] [varchar] (50) NOT NULL ,
	[award_name] [varchar] (50) NOT NULL ,
	[typeflag] [int] NOT NULL ,
	[fullmoney] [decimal](18, 2) NULL ,
	[starttime] [datetime] NOT NULL ,
	[endtime] [datetime] NOT NULL ,
	[num] [int] NOT NULL ,
	[onlineoroffline] [int] NOT NULL ,
	[award_id] [bigint] NULL ,
	[useflag] [int] NULL ,
	[num2] [int] NOT NULL ,
	[num3] [int] NOT NULL ,
	[num4] [int] NOT NULL ,
	[num5] [int] NOT NULL ,
	[num6] [int] NOT NULL ,
	[fullmoney2] [decimal](18, 2) NULL ,
	[fullmoney3] [decimal](18, 2) NULL ,
	[fullmoney4] [decimal](18, 2) NULL ,
	[fullmoney5] [decimal](18, 2) NULL ,
	[fullmoney6] [decimal](18, 2) NULL ,
	[award_id2] [bigint] NULL ,
	[award_id3] [bigint] NULL ,
	[award_id4] [bigint] NULL ,
	[award_id5] [bigint] NULL ,
	[award_id6] [bigint] NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_lottery_draw_info] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[flow_id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_relevance_info] (
	[Id] [bigint] IDENTITY (1, 1) NOT NULL ,
	[shopid] [varchar] (50) NOT NULL ,
	[item_no] [varchar] (100) NOT NULL ,
	[awardorder_id] [bigint] NOT NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_relevance_info] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[Id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_shop_info] (
	[shop_no] [varchar] (20) NOT NULL ,
	[province] [varchar] (20) NOT NULL ,
	[city] [varchar] (20) NULL ,
	[shop_name] [varchar] (100) NULL ,
	[shop_address] [varchar] (255) NULL ,
	[shop_contacts] [varchar] (20) NULL ,
	[shop_tel] [varchar] (20) NULL ,
	[shop_mobile] [varchar] (20) NULL ,
	[shop_qq] [varchar] (20) NULL ,
	[shop_email] [varchar] (50) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_shop_info] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[shop_no]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_vip_info] (
	[card_id] [varchar] (20) NOT NULL ,
	[card_type] [varchar] (20) NULL ,
	[vip_name] [varchar] (8) NOT NULL ,
	[birthday] [datetime] NULL ,
	[vip_sex] [char] (2) NULL ,
	[oper_date] [datetime] NULL ,
	[vip_start_date] [datetime] NULL ,
	[vip_end_date] [datetime] NULL ,
	[card_status] [char] (1) NOT NULL ,
	[vip_pass] [varchar] (20) NULL ,
	[acc_num] [decimal](16, 4) NULL ,
	[dec_num] [decimal](16, 4) NULL ,
	[openid] [varchar] (50) NULL ,
	[shopid] [varchar] (20) NOT NULL ,
	[branch_no] [varchar] (6) NOT NULL ,
	[deal_flag] [char] (1) DEFAULT ('0') NULL ,
	[memo] [varchar] (100) NULL ,
	[mobile] [varchar] (20) NULL ,
	[email] [varchar] (30) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_vip_info] WITH NOCHECK ADD 
	CONSTRAINT [pk_wx_vip_info] PRIMARY KEY  CLUSTERED 
	(
		[card_id]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_branch_info] (
	[branch_no] [nvarchar] (10) NOT NULL ,
	[branch_name] [nvarchar] (30) NULL ,
	[branch_address] [nvarchar] (50) NULL ,
	[descinfo] [nvarchar] (500) NULL ,
	[Tel] [nvarchar] (50) NULL ,
	[shlef_status] [char] (1) DEFAULT ('0') NULL ,
	[latitude] [numeric](12, 6) DEFAULT (0) NOT NULL ,
	[longitude] [numeric](12, 6) DEFAULT (0) NOT NULL ,
	[branch_selltype] [varchar] (1) DEFAULT ('0') NULL ,
	[com_flag] [char] (1) DEFAULT ('0') NOT NULL ,
	[pic_name] [varchar] (255) NULL ,
	[pic] [image] NULL ,
	[pic_flag] [char] (1) DEFAULT ('0') NULL 
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_branch_info] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[branch_no]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_item_cls] (
	[item_clsno] [char] (10) NOT NULL ,
	[item_clsname] [varchar] (20) NULL ,
	[shlef_status] [char] (1) DEFAULT ('0') NULL ,
	[com_flag] [char] (1) DEFAULT ('0') NOT NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_item_cls] WITH NOCHECK ADD 
	CONSTRAINT [PK_t_wx_item_cls] PRIMARY KEY  CLUSTERED 
	(
		[item_clsno]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_item_info] (
	[item_size] [char] (20) NULL ,
	[item_no] [char] (20) NOT NULL ,
	[item_name] [varchar] (40) NULL ,
	[unit_name] [varchar] (20) NULL ,
	[unit_no] [char] (4) NULL ,
	[price] [numeric](16, 4) NULL ,
	[suitflag] [char] (2) NULL ,
	[discount] [char] (10) NULL ,
	[item_clsno] [char] (12) NULL ,
	[item_rem] [varchar] (50) NULL ,
	[curflag] [char] (10) NULL ,
	[picture] [binary] (300) NULL ,
	[shlef_status] [char] (1) DEFAULT ('0') NULL ,
	[com_flag] [char] (1) DEFAULT ('0') NOT NULL ,
	[pic_name] [varchar] (255) NULL ,
	[pic] [image] NULL ,
	[pic_flag] [char] (1) DEFAULT ('0') NULL ,
	[spic_name] [varchar] (255) NULL ,
	[spic] [image] NULL ,
	[dish_desc] [varchar] (200) NULL 
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_item_info] WITH NOCHECK ADD 
	CONSTRAINT [PK_t_wx_item_info] PRIMARY KEY  CLUSTERED 
	(
		[item_no]
	)  ON [PRIMARY] 
GO
CREATE TABLE [dbo].[t_wx_promotion] (
	[flowid] [int] IDENTITY (1, 1) NOT NULL ,
	[sdate] [datetime] NOT NULL ,
	[edate] [datetime] NOT NULL ,
	[descinfo] [varchar] (255) NULL ,
	[pic] [image] NULL ,
	[shelf_status] [char] (1) DEFAULT ('0') NULL ,
	[branch_no] [varchar] (50) NOT NULL ,
	[shop_id] [varchar] (50) NOT NULL ,
	[pic_flag] [char] (1) DEFAULT ('0') NULL ,
	[pic_name] [varchar] (255) NULL ,
	[net_flow] [decimal](18, 0) NULL 
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_wx_promotion] WITH NOCHECK ADD 
	PRIMARY KEY  CLUSTERED 
	(
		[flowid]
	)  ON [PRIMARY] 
GO
alter table t_rm_saleman add openid varchar(60) null
GO
insert into t_sys_menu values ( '1222' , '批量修改商品信息' , 'w_bd_itempro_batch' , 'EDIT' , 'S' , null , '110000' , '0' , '0' , '0' , '0' , '' )
GO
alter table t_bd_item_info add en_gift char(1) default '0' null
GO
